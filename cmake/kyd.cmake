# Helpers shared by the subsystem folders.
#
# Each folder globs its own sources, so adding a file needs no CMake edit:
#   src/<sub>/*.cpp        -> library kyd_<sub> (Qt-free)
#   src/<sub>/qt/*.cpp     -> library kyd_<sub>_qt (only with KYD_WITH_QT)
#   tests/<sub>/test_*.cpp -> test program kyd_<sub>_tests, label <sub>
#   tests/<sub>/qt/test_*.cpp -> test program kyd_<sub>_qt_tests, label <sub>,
#                             run with QT_QPA_PLATFORM=offscreen
#   tests/<sub>/qt/shot_*.cpp -> test program kyd_<sub>_screenshots, labels
#                             <sub> and screenshots; writes PNGs of windows
#                             into <build>/screenshots (tests/support/screenshot.h)
#   tests/<sub>/qt/desktop_*.cpp -> test program kyd_<sub>_desktop, labels
#                             <sub> and desktop; runs as one test on a
#                             virtual X display with a window manager
#                             (tests/support/with_desktop.sh)
#
# A large subsystem may group its files by concern: with SUBDIRS a b ...
# the same globs also take src/<sub>/<a>/*.cpp into kyd_<sub>,
# src/<sub>/<a>/qt/*.cpp into kyd_<sub>_qt, and tests/<sub>/<a>/... and
# tests/<sub>/<a>/qt/... into the same test programs as above. The Qt-free
# library stays Qt-free: only the qt/ folders go into kyd_<sub>_qt.

# Precompiled headers: the standard, GoogleTest and Qt headers that most
# sources include are compiled once per library or test program instead of
# once per source. Off by default under a compiler cache, which cannot reuse
# a precompiled header's results across builds and would miss every time.
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(kyd_pch_default OFF)
else()
  set(kyd_pch_default ON)
endif()
option(KYD_PCH "Precompile the common standard, GoogleTest and Qt headers" ${kyd_pch_default})
set(KYD_PCH_STD <algorithm> <array> <atomic> <chrono> <condition_variable> <cstdint> <cstdio>
    <cstdlib> <cstring> <filesystem> <functional> <map> <memory> <mutex> <optional> <string>
    <string_view> <thread> <utility> <vector>)
set(KYD_PCH_QT <QApplication> <QWidget> <QDialog> <QLabel> <QPushButton> <QCheckBox>
    <QRadioButton> <QButtonGroup> <QLineEdit> <QComboBox> <QSpinBox> <QGroupBox> <QTabWidget>
    <QTreeWidget> <QPlainTextEdit> <QHeaderView> <QFrame> <QVBoxLayout> <QHBoxLayout>
    <QGridLayout> <QAction> <QTimer> <QPainter> <QImage> <QPixmap> <QScreen> <QString> <QEvent>)
set(KYD_PCH_TEST <gtest/gtest.h>)

# kyd_precompile(<target> <headers...>): the headers precompiled for the
# target, when it has enough sources to gain from it.
function(kyd_precompile target)
  if(NOT KYD_PCH)
    return()
  endif()
  get_target_property(srcs ${target} SOURCES)
  list(FILTER srcs INCLUDE REGEX "\\.cpp$")
  list(LENGTH srcs count)
  if(count GREATER_EQUAL 4)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# kyd_shared_precompile(<target> LIB|QT_LIB|TEST|QT_TEST): the libraries
# and test programs of one kind share one precompiled header, made by a
# small object library with the same flags, rather than each making its
# own. gcc checks each use and falls back to reading the headers when one
# would not fit; other compilers get one per target. QTest stays out: its
# header tests a definition that differs from folder to folder.
function(kyd_shared_precompile target kind)
  set(headers ${KYD_PCH_STD})
  set(libs Threads::Threads)
  if(kind MATCHES "TEST")
    list(APPEND headers ${KYD_PCH_TEST})
    list(APPEND libs GTest::gtest)
  endif()
  if(kind MATCHES "QT")
    list(APPEND headers ${KYD_PCH_QT})
    list(APPEND libs Qt6::Widgets)
  endif()
  if(NOT KYD_PCH)
    return()
  elseif(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    kyd_precompile(${target} ${headers})
    return()
  endif()
  string(TOLOWER "kyd_pch_${kind}" shared)
  if(NOT TARGET ${shared})
    set(src ${PROJECT_BINARY_DIR}/${shared}.cpp)
    if(NOT EXISTS ${src})
      file(WRITE ${src} "// The shared precompiled header's own source.\n")
    endif()
    add_library(${shared} OBJECT ${src})
    target_link_libraries(${shared} PRIVATE ${libs})
    target_precompile_headers(${shared} PRIVATE ${headers})
  endif()
  set_target_properties(${target} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM ${shared})
endfunction()

# kyd_globs(<var> <patterns...> SUBDIRS <dirs...>): the files matching each
# pattern in the current source folder and in each of the subfolders.
function(kyd_globs var)
  cmake_parse_arguments(ARG "" "" "SUBDIRS" ${ARGN})
  set(patterns)
  foreach(pattern IN LISTS ARG_UNPARSED_ARGUMENTS)
    list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    foreach(dir IN LISTS ARG_SUBDIRS)
      list(APPEND patterns ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${pattern})
    endforeach()
  endforeach()
  file(GLOB found CONFIGURE_DEPENDS ${patterns})
  set(${var} ${found} PARENT_SCOPE)
endfunction()

# kyd_library(<sub> [DEPS libs...] [QT_DEPS libs...] [SUBDIRS dirs...])
function(kyd_library sub)
  cmake_parse_arguments(ARG "" "" "DEPS;QT_DEPS;SUBDIRS" ${ARGN})
  kyd_globs(srcs *.cpp SUBDIRS ${ARG_SUBDIRS})
  if(srcs)
    add_library(kyd_${sub} STATIC ${srcs})
  else()
    add_library(kyd_${sub} INTERFACE)
  endif()
  get_target_property(type kyd_${sub} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(kyd_${sub} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kyd_${sub} INTERFACE Threads::Threads ${ARG_DEPS})
  else()
    target_include_directories(kyd_${sub} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(kyd_${sub} PUBLIC Threads::Threads ${ARG_DEPS})
    kyd_shared_precompile(kyd_${sub} LIB)
  endif()
  if(KYD_WITH_QT)
    kyd_globs(qtsrcs qt/*.cpp qt/*.h SUBDIRS ${ARG_SUBDIRS})
    # Always defined with Qt, so dependants may name it before it has sources.
    if(qtsrcs)
      add_library(kyd_${sub}_qt STATIC ${qtsrcs})
      target_link_libraries(kyd_${sub}_qt PUBLIC kyd_${sub} Qt6::Widgets ${ARG_QT_DEPS})
      kyd_shared_precompile(kyd_${sub}_qt QT_LIB)
    else()
      add_library(kyd_${sub}_qt INTERFACE)
      target_link_libraries(kyd_${sub}_qt INTERFACE kyd_${sub} Qt6::Widgets ${ARG_QT_DEPS})
    endif()
  endif()
endfunction()

# The asan build's test programs carry the runtime's default options and
# the leak suppressions of third-party libraries.
function(kyd_sanitizer_defaults target)
  if(KYD_SANITIZE STREQUAL "address")
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/sanitizer_options.cpp)
    target_compile_definitions(${target} PRIVATE
      KYD_LSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/support/lsan_suppressions.txt")
  endif()
endfunction()

# kyd_tests(<sub> [DEPS libs...] [QT_DEPS libs...] [SUBDIRS dirs...])
# The Qt programs also find the shared helpers of tests/<sub>/qt/ by name.
function(kyd_tests sub)
  cmake_parse_arguments(ARG "" "" "DEPS;QT_DEPS;SUBDIRS" ${ARGN})
  kyd_globs(srcs test_*.cpp SUBDIRS ${ARG_SUBDIRS})
  kyd_globs(helpers support_*.cpp SUBDIRS ${ARG_SUBDIRS})
  if(srcs)
    add_executable(kyd_${sub}_tests ${srcs} ${helpers})
    target_include_directories(kyd_${sub}_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(kyd_${sub}_tests PRIVATE KYD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
    target_link_libraries(kyd_${sub}_tests PRIVATE ${ARG_DEPS} GTest::gtest_main GTest::gmock)
    kyd_sanitizer_defaults(kyd_${sub}_tests)
    kyd_shared_precompile(kyd_${sub}_tests TEST)
    gtest_discover_tests(kyd_${sub}_tests
      PROPERTIES LABELS ${sub} TIMEOUT 60
      DISCOVERY_TIMEOUT 60)
  endif()
  if(KYD_WITH_QT)
    kyd_globs(qtsrcs qt/test_*.cpp SUBDIRS ${ARG_SUBDIRS})
    kyd_globs(qthelpers qt/support_*.cpp SUBDIRS ${ARG_SUBDIRS})
    set(qtincludes ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/qt ${PROJECT_SOURCE_DIR}/tests)
    # The Qt programs' main, compiled once for all of them.
    if(NOT TARGET kyd_qt_main)
      add_library(kyd_qt_main OBJECT ${PROJECT_SOURCE_DIR}/tests/qt_main.cpp)
      target_link_libraries(kyd_qt_main PUBLIC Qt6::Widgets GTest::gtest)
    endif()
    # The shared helpers of tests/<sub>/qt/, compiled once for the tests,
    # screenshots and desktop programs that use them.
    if(qthelpers)
      add_library(kyd_${sub}_qt_support OBJECT ${qthelpers})
      target_include_directories(kyd_${sub}_qt_support PUBLIC ${qtincludes})
      target_link_libraries(kyd_${sub}_qt_support PUBLIC ${ARG_DEPS} ${ARG_QT_DEPS} Qt6::Widgets Qt6::Test
                            GTest::gtest GTest::gmock)
      set(qthelpers kyd_${sub}_qt_support)
    endif()
    if(qtsrcs)
      add_executable(kyd_${sub}_qt_tests ${qtsrcs})
      target_include_directories(kyd_${sub}_qt_tests PRIVATE ${qtincludes})
      target_compile_definitions(kyd_${sub}_qt_tests PRIVATE KYD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
      target_link_libraries(kyd_${sub}_qt_tests PRIVATE ${ARG_DEPS} ${ARG_QT_DEPS} ${qthelpers} kyd_qt_main Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
      kyd_sanitizer_defaults(kyd_${sub}_qt_tests)
      kyd_shared_precompile(kyd_${sub}_qt_tests QT_TEST)
      gtest_discover_tests(kyd_${sub}_qt_tests
        PROPERTIES LABELS ${sub} TIMEOUT 60 ENVIRONMENT QT_QPA_PLATFORM=offscreen
        DISCOVERY_TIMEOUT 60)
    endif()
    kyd_globs(shots qt/shot_*.cpp SUBDIRS ${ARG_SUBDIRS})
    if(shots)
      add_executable(kyd_${sub}_screenshots ${shots})
      target_include_directories(kyd_${sub}_screenshots PRIVATE ${qtincludes})
      target_compile_definitions(kyd_${sub}_screenshots PRIVATE KYD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
        KYD_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
      target_link_libraries(kyd_${sub}_screenshots PRIVATE ${ARG_DEPS} ${ARG_QT_DEPS} ${qthelpers} kyd_qt_main Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
      kyd_sanitizer_defaults(kyd_${sub}_screenshots)
      kyd_shared_precompile(kyd_${sub}_screenshots QT_TEST)
      gtest_discover_tests(kyd_${sub}_screenshots
        PROPERTIES TIMEOUT 60 ENVIRONMENT QT_QPA_PLATFORM=offscreen
        DISCOVERY_TIMEOUT 60)
      # Two labels: the discovery passes properties on as a flat list, so
      # they are set once the discovered tests are known.
      set(labels ${CMAKE_CURRENT_BINARY_DIR}/kyd_${sub}_screenshots_labels.cmake)
      file(WRITE ${labels} "foreach(t IN LISTS kyd_${sub}_screenshots_TESTS)\n"
        "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${sub};screenshots\")\nendforeach()\n")
      set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels})
    endif()
    kyd_globs(desktop qt/desktop_*.cpp SUBDIRS ${ARG_SUBDIRS})
    if(desktop)
      add_executable(kyd_${sub}_desktop ${desktop})
      target_include_directories(kyd_${sub}_desktop PRIVATE ${qtincludes})
      target_compile_definitions(kyd_${sub}_desktop PRIVATE KYD_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
      target_link_libraries(kyd_${sub}_desktop PRIVATE ${ARG_DEPS} ${ARG_QT_DEPS} ${qthelpers} kyd_qt_main Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
      kyd_sanitizer_defaults(kyd_${sub}_desktop)
      kyd_shared_precompile(kyd_${sub}_desktop QT_TEST)
      # One X server for the whole program; 77 when none can be had.
      add_test(NAME kyd_${sub}_desktop
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/with_desktop.sh $<TARGET_FILE:kyd_${sub}_desktop>)
      set_tests_properties(kyd_${sub}_desktop PROPERTIES LABELS "${sub};desktop" TIMEOUT 120 SKIP_RETURN_CODE 77)
    endif()
  endif()
endfunction()
