#!/usr/bin/env bash
# Installs the Debian packages the project needs, when they are missing. Safe to run again.
# Usage: scripts/deps.sh [linux|windows|bench|generate|fuzz]...   (default: linux)
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(linux)

packages=()
for group in "${groups[@]}"; do
    case "$group" in
        linux) packages+=(cmake ninja-build g++ libgtest-dev googletest nlohmann-json3-dev libssl-dev python3 procps gcc-mingw-w64-i686 clang-19 lld-19 llvm-19) ;; # i686, clang-19, lld-19, llvm-19: the authoring tool's test input (both archive layouts); procps: the crash test's pgrep
        windows) packages+=(cmake ninja-build g++-mingw-w64-x86-64 googletest nlohmann-json3-dev wine wine64 python3 g++) ;; # python3, g++: the sample build's Linux toolkit and toolchain
        bench) packages+=(hyperfine time) ;;
        generate) packages+=(python3 unicode-data) ;; # scripts/generate-unicode-case.py, generate-unicode-width.py
        fuzz) packages+=(clang-19 libclang-rt-19-dev) ;; # scripts/fuzz.sh: libFuzzer and sanitizers
        *) echo "deps.sh: unknown group $group" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -gt 0 ] || exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "deps.sh: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
