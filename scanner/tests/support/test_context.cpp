#include "support/test_context.h"

#include "support/scan_recorder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

FenxLibraryFilter test_library(std::uint32_t flag, std::uint16_t build, std::uint16_t qfe) {
    FenxLibraryFilter library{build, qfe, flag, {}};
    const char *name = Fenx_LibraryName(flag);
    std::memcpy(library.Name, name, std::min<std::size_t>(std::strlen(name), 8));
    return library;
}

TestContext::TestContext(const FenxDatabase &database, std::vector<FenxLibraryFilter> libraries,
                         std::vector<TestSection> sections, const FenxiManualHandler *handlers,
                         std::uint32_t kernel_thunk) {
    std::vector<FenxSectionFilter> filters;
    for (const TestSection &section : sections) {
        // Exactly the section's size, so that a read past its end is caught by the sanitizer.
        auto &copy =
            bytes_.emplace_back(new std::uint8_t[std::max<std::size_t>(section.bytes.size(), 1)]);
        std::copy(section.bytes.begin(), section.bytes.end(), copy.get());
        FenxSectionFilter filter{{},
                                 section.virtual_address,
                                 static_cast<std::uint32_t>(section.bytes.size()),
                                 copy.get()};
        std::memcpy(filter.Name, section.name.data(),
                    std::min<std::size_t>(section.name.size(), 8));
        filters.push_back(filter);
    }
    const FenxLibraryHeader library_header{static_cast<std::uint32_t>(libraries.size()),
                                           libraries.data()};
    const FenxSectionHeader section_header{static_cast<std::uint32_t>(filters.size()),
                                           filters.data()};
    static const FenxiManualHandler kNoHandlers[] = {{0, nullptr, false}};
    if (!Fenxi_CreateContext(&context_, &ScanRecorder::on_symbol, &library_header, &section_header,
                             kernel_thunk, database, handlers != nullptr ? handlers : kNoHandlers))
        throw std::runtime_error("test context could not be created");
}

TestContext::~TestContext() {
    FenxContext_Release(context_);
}
