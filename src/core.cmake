# The widget-free core: codecs, receive rendering, address and port parsing,
# the TCP server class and the socket helpers. Unit tests, fuzzers and
# benchmarks link it directly; the fuzzers' project includes this file too.
set(kestrune_core_sources
    io/bounds.h
    io/fileopen.cpp io/fileopen.h
    io/filesend.cpp io/filesend.h
    io/hexcodec.cpp io/hexcodec.h
    io/loadedtext.cpp io/loadedtext.h
    io/paragraphs.cpp io/paragraphs.h
    io/rcvdisplay.cpp io/rcvdisplay.h
    io/rcvflow.cpp io/rcvflow.h
    io/rcvpending.cpp io/rcvpending.h
    net/descriptors.cpp net/descriptors.h
    net/linkmode.h
    net/localaddress.cpp net/localaddress.h
    net/mtcpserver.cpp net/mtcpserver.h
    net/peertext.cpp net/peertext.h
    net/readpass.cpp net/readpass.h
    net/tcpclose.cpp net/tcpclose.h
)
list(TRANSFORM kestrune_core_sources PREPEND "${CMAKE_CURRENT_LIST_DIR}/")
qt_add_library(kestrune_core STATIC ${kestrune_core_sources})
target_include_directories(kestrune_core PUBLIC
    ${CMAKE_CURRENT_LIST_DIR}/net
    ${CMAKE_CURRENT_LIST_DIR}/io
)
target_link_libraries(kestrune_core PUBLIC Qt6::Core Qt6::Network)
