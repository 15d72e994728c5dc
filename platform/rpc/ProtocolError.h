#pragma once
// EProtocolError: the peer broke the wire format (a malformed, truncated,
// oversized or too deeply nested frame, or a message out of place). It is a
// connection error: whoever sees it drops that connection, since the byte
// stream can no longer be trusted; nothing else is affected.
#include "rtl/Exceptions.h"

EXP_DECLARE_EXCEPTION(EProtocolError, EConnectionError)
