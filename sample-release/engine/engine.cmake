# The engine as a static library, included by the project template through ORMOLT_DIR.
set(ORMOLT_ENGINE_DIR "${CMAKE_CURRENT_LIST_DIR}")
add_library(ormolt_engine STATIC
    "${ORMOLT_ENGINE_DIR}/src/print.c"
    "${ORMOLT_ENGINE_DIR}/src/sections.c"
    "${ORMOLT_ENGINE_DIR}/src/run.c")
target_include_directories(ormolt_engine PUBLIC "${ORMOLT_ENGINE_DIR}/include")
set_target_properties(ormolt_engine PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
