#include "ormolt/engine.h"

int ormolt_walk_sections(const struct ormolt_game *game, ormolt_section_visitor visit,
                         void *context) {
    for (size_t i = 0; i < game->section_count; ++i) {
        const int stop = visit(&game->sections[i], context);
        if (stop != 0)
            return stop;
    }
    return 0;
}

const struct ormolt_section *ormolt_section_at(const struct ormolt_game *game, uint32_t address) {
    for (size_t i = 0; i < game->section_count; ++i) {
        const struct ormolt_section *section = &game->sections[i];
        /* Subtract rather than add: a section at the top of the address space must not wrap. */
        if (address >= section->virtual_address &&
            address - section->virtual_address < section->virtual_size)
            return section;
    }
    return NULL;
}
