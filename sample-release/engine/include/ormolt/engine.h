/* The engine the translated game links against: the game's description, its sections and the
 * XDK symbols the scan named, plus the few services the generated code calls. */
#ifndef ORMOLT_ENGINE_H
#define ORMOLT_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct ormolt_section {
    const char *name;
    uint32_t virtual_address;
    uint32_t virtual_size;
    uint32_t flags;
    const uint8_t *bytes; /* the section as stored in the XBE */
    size_t size;          /* bytes stored; the rest up to virtual_size is zero */
};

enum ormolt_symbol_kind { ORMOLT_UNKNOWN = 0, ORMOLT_VARIABLE = 1, ORMOLT_FUNCTION = 2 };

struct ormolt_symbol {
    const char *library;
    const char *name;
    uint32_t address;
    enum ormolt_symbol_kind kind;
};

struct ormolt_game {
    const char *title;
    uint32_t title_id;
    uint32_t base_address;
    uint32_t entry_point;
    const struct ormolt_section *sections;
    size_t section_count;
    const struct ormolt_symbol *symbols;
    size_t symbol_count;
};

/* printf to standard output, flushed, so that lines interleave sanely with a parent's. */
int ormolt_print(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* Calls visit for each section in table order; stops early when visit returns non-zero and
 * returns that value, else 0. */
typedef int (*ormolt_section_visitor)(const struct ormolt_section *section, void *context);
int ormolt_walk_sections(const struct ormolt_game *game, ormolt_section_visitor visit,
                         void *context);

/* The section whose virtual range holds address, or NULL. */
const struct ormolt_section *ormolt_section_at(const struct ormolt_game *game, uint32_t address);

/* Counts the symbols of one kind. */
size_t ormolt_count_symbols(const struct ormolt_game *game, enum ormolt_symbol_kind kind);

/* Prints the game's title, sections and symbol counts; returns the process exit status. */
int ormolt_run(const struct ormolt_game *game);

#ifdef __cplusplus
}
#endif

#endif
