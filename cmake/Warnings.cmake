# Every target of ours builds with the common warnings. They are errors only when asked
# for (CI and the test script set QUORVEL_WERROR=ON): a user's build with another compiler
# release or build type must never fail on a new warning.
option(QUORVEL_WERROR "Treat build warnings as errors" OFF)

function(quorvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(QUORVEL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
        # GCC 12 at -O3 reports false -Wrestrict and -Wstringop-overflow warnings inside
        # libstdc++ (std::string and std::vector copies); they stay warnings.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -Wno-error=restrict -Wno-error=stringop-overflow)
        endif()
    endif()
endfunction()
