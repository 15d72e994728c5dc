# exp_add_test(NAME name LABEL layer SOURCES ... LIBS ... [OWN_MAIN] [SERIAL] [PREFIX p])
#
# OWN_MAIN: the sources bring their own main() (a test that needs a
# QApplication, say); otherwise GoogleTest's main is linked. PREFIX goes
# before each case's CTest name, for a second build of the same cases.
# SERIAL: no other test runs beside these cases (they disturb what others share).
#
# One GoogleTest executable per call. Every discovered case carries the layer's
# CTest label (so `ctest -L data` runs one layer) and runs on Qt's offscreen
# platform, so no test needs a display.
function(exp_add_test)
  cmake_parse_arguments(T "OWN_MAIN;SERIAL" "NAME;LABEL;PREFIX" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  exp_warnings(${T_NAME})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_options(${T_NAME} PRIVATE -include ${PROJECT_SOURCE_DIR}/tests/support/QtPrinters.h)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest)
  if(NOT T_OWN_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(${T_NAME}
    TEST_PREFIX "${T_PREFIX}"
    PROPERTIES LABELS ${T_LABEL}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               RUN_SERIAL ${T_SERIAL}
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES)
endfunction()
