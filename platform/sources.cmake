# platform/ (rest): the clock and the other small platform pieces.
mvcomm_library(mv_platform
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
)
