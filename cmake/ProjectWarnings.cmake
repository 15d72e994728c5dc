# Warnings for the project's own targets. Qt's headers come in as system
# includes through their imported targets, so only our code is judged.
function(exp_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
