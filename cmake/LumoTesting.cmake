# lumo_add_test(NAME [QT] SOURCES src... LIBS lib... [LABELS label...])
# Every test gets a private XDG_CONFIG_HOME so that it never touches the
# real user's settings, and LUMO_SERVICE_URL set to an address nothing
# listens on, so that no test reaches a service it did not start itself (a
# test that points the client elsewhere puts that address back, see
# tests/online/ServiceUrl.h). QT tests get a main that builds a QApplication
# first; they run on the display CTest was started under (xvfb-run in
# scripts/run-tests.sh).
find_package(GTest REQUIRED)
set(LUMO_TEST_SERVICE_URL "http://127.0.0.1:9")

function(lumo_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    target_link_libraries(${name} PRIVATE ${T_LIBS} lumo_qt_test_main GTest::gtest GTest::gmock Threads::Threads)
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  endif()
  set(home "${CMAKE_BINARY_DIR}/test-home/${name}")
  file(MAKE_DIRECTORY "${home}/config" "${home}/tmp")
  target_compile_definitions(${name} PRIVATE LUMO_TEST_SERVICE_URL="${LUMO_TEST_SERVICE_URL}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "XDG_CONFIG_HOME=${home}/config;LUMO_TEST_TMP=${home}/tmp;LUMO_SERVICE_URL=${LUMO_TEST_SERVICE_URL}"
    LABELS "${T_LABELS}"
    TIMEOUT 900)
endfunction()
