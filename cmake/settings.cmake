# Compile settings shared by every target of the project.
add_compile_options(-Wall -Wextra)
if(ORMOLT_WERROR)
    add_compile_options(-Werror)
endif()
if(ORMOLT_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(WIN32)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
    # One self-contained .exe: no MinGW runtime DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # mingw-w64 g++ 12 in C++23 mode emits std::type_info::operator== into every object that
    # compares type_info, and the static libstdc++ defines it too; the definitions are the same.
    add_link_options(-Wl,--allow-multiple-definition)
    # g++ 12 at -O3 warns of overlapping copies inside std::string's own insert (a false alarm
    # of that release), which would stop a warnings-as-errors build.
    add_compile_options(-Wno-restrict)
    # The manifest every shipped program embeds: add ${ORMOLT_WINDOWS_PROGRAM_RC} to its sources.
    enable_language(RC)
    set(ORMOLT_WINDOWS_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/windows-program.manifest)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-program.rc.in
                   ${CMAKE_BINARY_DIR}/windows-program.rc @ONLY)
    set(ORMOLT_WINDOWS_PROGRAM_RC ${CMAKE_BINARY_DIR}/windows-program.rc)
endif()

# Collects the sources of a folder, leaving out the other platform's files.
function(ormolt_sources out_var)
    set(result)
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
        list(APPEND result ${found})
    endforeach()
    set(${out_var} ${result} PARENT_SCOPE)
endfunction()
