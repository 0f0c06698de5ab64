// Asio for our targets. GCC's late -Wnull-dereference pass flags Asio's scheduler internals
// once they are inlined into our code; the pragma applies to Asio's own lines only.
#pragma once

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnull-dereference"
#include <asio.hpp>
#pragma GCC diagnostic pop
