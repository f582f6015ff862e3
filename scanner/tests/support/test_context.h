#pragma once
// A scan context over a test database, test libraries and sections whose bytes it owns.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/scan/context.h"

struct TestSection {
    std::string name;
    std::uint32_t virtual_address;
    std::vector<std::uint8_t> bytes;
};

FenxLibraryFilter test_library(std::uint32_t flag, std::uint16_t build, std::uint16_t qfe = 0);

class TestContext {
  public:
    TestContext(const FenxDatabase &database, std::vector<FenxLibraryFilter> libraries,
                std::vector<TestSection> sections, const FenxiManualHandler *handlers = nullptr,
                std::uint32_t kernel_thunk = 0);
    ~TestContext();
    TestContext(const TestContext &) = delete;
    TestContext &operator=(const TestContext &) = delete;

    FenxContext *get() const { return context_; }
    FenxContext *operator->() const { return context_; }
    const FenxSectionFilter *section(std::size_t i) const { return &context_->Sections[i]; }
    const FenxLibraryFilter *library(std::size_t i) const { return &context_->Libraries[i]; }

  private:
    std::vector<std::unique_ptr<std::uint8_t[]>> bytes_;
    FenxContext *context_ = nullptr;
};
