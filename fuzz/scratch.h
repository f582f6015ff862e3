#pragma once
// A folder of this fuzz process's own under the system's temporary folder, for targets whose
// reader takes a path. Removed when the process ends normally; a crashed run leaves one small
// folder named after its process id.
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace fuzz {

const std::filesystem::path &scratch_folder();

// Replaces the file with exactly these bytes (creating its folder); aborts when it cannot, since
// a target that silently read nothing would fuzz nothing.
void write_input(const std::filesystem::path &file, const std::uint8_t *data, std::size_t size);

// Stops the run with a crash report that names the broken promise.
[[noreturn]] void broken(const char *what);

} // namespace fuzz
