# platform/ (rest): the clock, the calendar (header-only) and the other small
# platform pieces.
mvcomm_library(mv_platform
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/civil_date.h
    ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
)
