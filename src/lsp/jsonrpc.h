// The language server's wire: the Content-Length framing shared with tavro-dap (see
// protocol/frame.h), named in the server's namespace. A framing fault is answered with a
// ParseError with a null id; a frame over the limit is answered so, and the server ends.
#pragma once

#include "protocol/frame.h"

namespace tavro::lsp {

using protocol::feedBytes;
using protocol::frameMessage;
using protocol::FrameReader;
using protocol::FrameStatus;
using protocol::nextFrame;

}  // namespace tavro::lsp
