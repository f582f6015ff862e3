#include "ormolt/engine.h"

static int print_section(const struct ormolt_section *section, void *context) {
    size_t *index = context;
    ormolt_print("  %2zu %-8s 0x%08x %8u bytes, %zu stored\n", *index, section->name,
                 (unsigned)section->virtual_address, (unsigned)section->virtual_size,
                 section->size);
    ++*index;
    return 0;
}

size_t ormolt_count_symbols(const struct ormolt_game *game, enum ormolt_symbol_kind kind) {
    size_t count = 0;
    for (size_t i = 0; i < game->symbol_count; ++i)
        count += game->symbols[i].kind == kind;
    return count;
}

int ormolt_run(const struct ormolt_game *game) {
    ormolt_print("%s (title id %08X)\n", game->title, (unsigned)game->title_id);
    const struct ormolt_section *entry = ormolt_section_at(game, game->entry_point);
    ormolt_print("entry point 0x%08x in %s\n", (unsigned)game->entry_point,
                 entry ? entry->name : "no section");
    ormolt_print("%zu sections:\n", game->section_count);
    size_t index = 0;
    ormolt_walk_sections(game, print_section, &index);
    ormolt_print("%zu XDK symbols: %zu functions, %zu variables, %zu other\n", game->symbol_count,
                 ormolt_count_symbols(game, ORMOLT_FUNCTION),
                 ormolt_count_symbols(game, ORMOLT_VARIABLE),
                 ormolt_count_symbols(game, ORMOLT_UNKNOWN));
    for (size_t i = 0; i < game->symbol_count; ++i) {
        const struct ormolt_symbol *symbol = &game->symbols[i];
        const struct ormolt_section *home = ormolt_section_at(game, symbol->address);
        ormolt_print("  %s::%s at 0x%08x (%s)\n", symbol->library, symbol->name,
                     (unsigned)symbol->address, home ? home->name : "outside the image");
    }
    return 0;
}
