#pragma once

// Text that arrives from the network: UTF-8, with any byte that does not
// form valid UTF-8 taken as Latin-1. Plain functions; any thread.

#include <string>
#include <string_view>

namespace online {

std::string DecodeNetworkText(std::string_view bytes);

} // namespace online
