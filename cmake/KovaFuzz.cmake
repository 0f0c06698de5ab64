# libFuzzer targets need Clang. With KOVA_FUZZ on, every library gets the
# fuzzer's coverage hooks, so the fuzz executables see the paths inside them;
# a compiler without libFuzzer turns the option off with a warning, and the
# normal build is untouched either way.
option(KOVA_FUZZ "Build the libFuzzer targets (needs Clang)" OFF)
set(KOVA_FUZZ_ENABLED OFF)
if(KOVA_FUZZ)
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS -fsanitize=fuzzer)
    set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=fuzzer)
    check_cxx_source_compiles([[
        #include <cstddef>
        #include <cstdint>
        extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *, std::size_t) { return 0; }
    ]] KOVA_HAVE_LIBFUZZER)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(KOVA_HAVE_LIBFUZZER)
        set(KOVA_FUZZ_ENABLED ON)
        add_compile_options(-fsanitize=fuzzer-no-link)
    else()
        message(WARNING "KOVA_FUZZ: ${CMAKE_CXX_COMPILER_ID} has no libFuzzer; no fuzz targets")
    endif()
endif()
