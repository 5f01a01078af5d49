// Random identifiers for cells and profiles: characters drawn independently and
// uniformly from a 64-character alphabet with the system's cryptographically
// secure source. Every caller uses 14 characters (84 random bits); identifiers
// are not checked for collisions.
#pragma once

#include <string>
#include <string_view>

namespace tilebay::NanoID {

// "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_-", in this order.
std::string_view alphabet();

// A new identifier of `length` characters; 0 gives the empty string. A negative
// length is a programming error and stops the program.
std::string make(int length);

}  // namespace tilebay::NanoID
