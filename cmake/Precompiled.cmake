# Precompiled headers: the Qt, standard and GoogleTest headers nearly every
# file includes are parsed once per kind of target instead of once per file.
#
# exp_precompile_all(): after every folder is read, gives each C++ target of
# the project the precompiled header of its kind, reused from one donor
# target per kind (target_precompile_headers REUSE_FROM). A kind is
#   - the headers its code may see: Qt Core only, or Qt's widgets too (the
#     target links Qt6::Widgets, directly or not), so that a precompiled
#     header never shows a layer what its own links would not;
#   - GoogleTest's header and our printers for Qt values, in a test program
#     (not Qt Test's header: it uses a macro whose value is each program's
#     own build folder);
#   - library or program: GCC takes a precompiled header only under the
#     code-generation flags it was made with, and a library is compiled with
#     -fPIC where a program has -fPIE.
# A kind with fewer than EXP_PCH_MIN_SOURCES files gets none: making the
# header would cost more than it saves.
#
# GCC checks that every macro the header uses is defined alike where it is
# reused (it warns, under -Winvalid-pch, and parses the headers as usual when
# not); a target's own definitions (its _EXPORTS macro, paths given to
# tests) are used by none of these headers.
#
# CMAKE_DISABLE_PRECOMPILE_HEADERS=ON turns it off. The fuzzing build has
# none: it never gets this far.
set(EXP_PCH_MIN_SOURCES 8)

set(EXP_PCH_CORE
  <algorithm> <atomic> <functional> <map> <memory> <optional> <stdexcept> <string> <utility> <vector>
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QList> <QObject> <QPointer>
  <QString> <QStringList> <QTimer> <QVariant>)
set(EXP_PCH_WIDGETS
  <QAction> <QApplication> <QFontMetrics> <QImage> <QKeyEvent> <QLabel> <QLineEdit> <QMdiArea>
  <QMdiSubWindow> <QPainter> <QPushButton> <QScrollBar> <QTableView> <QToolButton> <QWidget>)
set(EXP_PCH_TEST <gtest/gtest.h> ${PROJECT_SOURCE_DIR}/tests/support/QtPrinters.h)

# Every buildable target defined in `dir` and below.
function(_exp_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _exp_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# The names of everything `target` links, directly or through public links.
function(_exp_link_closure target out)
  get_target_property(queue ${target} LINK_LIBRARIES)
  set(seen)
  while(queue)
    list(POP_FRONT queue dep)
    string(REGEX REPLACE "::@.*$" "" dep "${dep}")
    if(dep IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${dep})
    # Imported targets are seen only where they were found, so the names
    # of those are kept without being followed.
    if(TARGET "${dep}")
      get_target_property(imported ${dep} IMPORTED)
      if(NOT imported)
        get_target_property(more ${dep} INTERFACE_LINK_LIBRARIES)
        if(more)
          list(APPEND queue ${more})
        endif()
      endif()
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The donor of `kind` (widgets|core _ test|plain _ executable|library).
function(_exp_pch_donor kind)
  string(REPLACE "_" ";" parts ${kind})
  list(GET parts 0 view)
  list(GET parts 1 test)
  list(GET parts 2 type)
  set(donor exp_pch_${kind})
  add_library(${donor} OBJECT ${PROJECT_SOURCE_DIR}/cmake/PrecompiledDonor.cpp)
  set(headers ${EXP_PCH_CORE})
  target_link_libraries(${donor} PRIVATE Qt6::Core)
  if(view STREQUAL "widgets")
    find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
    list(APPEND headers ${EXP_PCH_WIDGETS})
    target_link_libraries(${donor} PRIVATE Qt6::Widgets)
  endif()
  if(test STREQUAL "test")
    list(APPEND headers ${EXP_PCH_TEST})
    target_link_libraries(${donor} PRIVATE GTest::gtest)
  endif()
  if(type STREQUAL "executable")
    set_target_properties(${donor} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_compile_options(${donor} PRIVATE -fPIE)
  endif()
  exp_warnings(${donor})
  target_precompile_headers(${donor} PRIVATE ${headers})
endfunction()

function(exp_precompile_all)
  if(CMAKE_DISABLE_PRECOMPILE_HEADERS)
    exp_test_printers_where_not_precompiled()
    return()
  endif()
  _exp_targets_below(${PROJECT_SOURCE_DIR} targets)
  set(kinds)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|STATIC_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    if(NOT sources)
      continue()
    endif()
    _exp_link_closure(${target} linked)
    set(view core)
    if(Qt6::Widgets IN_LIST linked)
      set(view widgets)
    endif()
    set(test plain)
    if(type STREQUAL "EXECUTABLE" AND GTest::gtest IN_LIST linked)
      set(test test)
    endif()
    set(kind_type library)
    if(type STREQUAL "EXECUTABLE")
      set(kind_type executable)
    endif()
    set(kind ${view}_${test}_${kind_type})
    list(APPEND kinds ${kind})
    list(APPEND users_${kind} ${target})
    list(LENGTH sources count)
    if(NOT DEFINED sources_${kind})
      set(sources_${kind} 0)
    endif()
    math(EXPR sources_${kind} "${sources_${kind}} + ${count}")
  endforeach()
  list(REMOVE_DUPLICATES kinds)
  foreach(kind IN LISTS kinds)
    if(sources_${kind} LESS EXP_PCH_MIN_SOURCES)
      continue()
    endif()
    _exp_pch_donor(${kind})
    foreach(target IN LISTS users_${kind})
      target_precompile_headers(${target} REUSE_FROM exp_pch_${kind})
      set_property(TARGET ${target} PROPERTY EXP_PRECOMPILED ON)
    endforeach()
  endforeach()
  exp_test_printers_where_not_precompiled()
endfunction()

# A test program whose files get no precompiled header includes the printers
# for Qt values first, as the header would have.
function(exp_test_printers_where_not_precompiled)
  get_property(tests GLOBAL PROPERTY EXP_TEST_TARGETS)
  foreach(target IN LISTS tests)
    get_target_property(precompiled ${target} EXP_PRECOMPILED)
    if(NOT precompiled)
      target_compile_options(${target} PRIVATE -include ${PROJECT_SOURCE_DIR}/tests/support/QtPrinters.h)
    endif()
  endforeach()
endfunction()
