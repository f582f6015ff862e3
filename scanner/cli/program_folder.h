#pragma once
// The folder that holds the running program, where a release keeps what belongs to it.
#include <filesystem>
#include <optional>

std::optional<std::filesystem::path> running_program_folder();
