# Build warnings are errors in every target of ours.
function(quorvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
