#pragma once

// The link types, in the order of the protocol selector's items: the
// selector's current index is the link type, and no other record of it
// exists.
enum LinkMode : int {
    UdpLink = 0,
    TcpServerLink = 1,
    TcpClientLink = 2,
};
