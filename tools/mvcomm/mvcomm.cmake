# tools/mvcomm: the command-line tool. Included from tools/mvcomm-sim's
# CMakeLists.txt: a CMakeLists.txt here would give this folder the build
# folder build/<flavour>/tools/mvcomm, the very path the executable needs.
# The commands live in mv_cli so that tests can run them in-process on the
# virtual line.
set(_mvcomm_dir ${CMAKE_CURRENT_LIST_DIR})
mvcomm_library(mv_cli
  SOURCES
    ${_mvcomm_dir}/atomic_file.cpp
    ${_mvcomm_dir}/cli.cpp
    ${_mvcomm_dir}/collect.cpp
    ${_mvcomm_dir}/device_opener.cpp
    ${_mvcomm_dir}/direct_session.cpp
    ${_mvcomm_dir}/progress_reporter.cpp
    ${_mvcomm_dir}/record_output.cpp
    ${_mvcomm_dir}/record_text.cpp
    ${_mvcomm_dir}/selftest.cpp
    ${_mvcomm_dir}/simulated_line.cpp
    ${_mvcomm_dir}/stream_watch.cpp
    ${_mvcomm_dir}/trace_port.cpp
  DEPS
    mv_terminal
    mv_emulator
    mv_serial
    mv_platform
)
add_executable(mvcomm ${_mvcomm_dir}/main.cpp)
target_link_libraries(mvcomm PRIVATE mv_cli)
set_target_properties(mvcomm PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
