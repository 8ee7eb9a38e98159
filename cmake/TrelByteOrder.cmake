# The byte order of the target, said at configure time: the map-file reader
# reads digits eight bytes at a time, and on a big-endian target it first
# puts each group of eight in little-endian order (maps/map_text.h).
if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
    message(STATUS "Target byte order: big-endian (the digit reader swaps each group of eight bytes)")
elseif(NOT CMAKE_CXX_BYTE_ORDER STREQUAL "LITTLE_ENDIAN")
    message(STATUS "Target byte order: unknown (the digit reader reads byte by byte)")
endif()
