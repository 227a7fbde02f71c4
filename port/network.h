// The network printer (raw TCP, port 9100 by default): where it is, the
// connection a port open makes, and why one did not open or was lost, in the
// user's words. The sockets themselves are the per-system half's
// (port/linux/network.cpp, port/windows/network.cpp).
#pragma once

#include "platform/win32.h"

#include <span>
#include <string>

constexpr WORD NET_DEFAULT_PORT = 9100;
constexpr DWORD NET_DEFAULT_TIMEOUT_S = 5;
constexpr DWORD NET_MAX_TIMEOUT_S = 120;
// How often a connect in progress looks for a stop: a stop ends it within this.
constexpr DWORD NET_STOP_POLL_MS = 20;
// After a connect: how long a printer that serves another client has to
// reset the new one, which is then told as a refusal.
constexpr DWORD NET_SETTLE_MS = 100;

struct NetPrinter {
    char host[256]; // a host name, or an IPv4 or IPv6 address (without brackets)
    WORD port;
    DWORD timeoutSeconds;
};

// The user's network printer: loaded from the store by InitPort, set by the
// port settings dialog (and mptest-cli's --port tcp:).
extern NetPrinter gNetInfo;

enum NetFailure : BYTE {
    NET_OK = 0,
    NET_NO_HOST,   // no address was given
    NET_NO_NAME,   // the name does not resolve
    NET_REFUSED,   // nothing listens there, or the printer serves another client
    NET_TIMED_OUT, // nothing answered within the time-out
    NET_UNREACHABLE,
    NET_STOPPED, // a stop ended the connect
    NET_OTHER,
};

// "host:port", an IPv6 address in brackets.
std::string NetEndpoint(const char* host, WORD port);
// Any thread. "HOST[:PORT]" (IPv6 in brackets) into host and port; FALSE
// for an empty host, a port that is no number from 1 to 65535, or an
// unclosed bracket.
BOOL NetParseEndpoint(const std::string& text, NetPrinter* printer);
// The second line of a failed open of the network port, naming host:port.
std::string NetOpenFailureDetail();
// Sending thread, when a write on the network port failed with `error`:
// remembered for NetLostReason.
void NetNoteLost(DWORD error);
// UI thread. Why the network port was lost during a send, naming host:port;
// empty when it was not.
std::string NetLostReason();

// UI thread, outside a send (the port settings dialog's test): connects to
// gNetInfo on a connection of its own, sends `question` and reads the answer
// byte into *answer. FALSE when the connect fails (NetOpenFailureDetail
// says why), or with *answered false when the printer took the question but
// said nothing within NET_ANSWER_MS.
BOOL NetAskStatus(std::span<const BYTE> question, BYTE* answer, bool* answered);
constexpr DWORD NET_ANSWER_MS = 2000;

// Per system.
// The record's owner. Connects to gNetInfo within its time-out; the handle
// (ReadFile, WriteFile, CancelIoEx work on it as on a USB port) or
// INVALID_HANDLE_VALUE with the reason remembered for NetOpenFailureDetail.
// PortAbortWaits from another thread, or from the wait pump (PortSetWaitPump)
// it runs between its waits, ends it within NET_STOP_POLL_MS.
HANDLE NetConnect();
// The record's owner. Closes a handle NetConnect gave.
void NetClose(HANDLE handle);
// Any thread. TRUE when the printer closed or reset the connection.
BOOL NetPeerGone(HANDLE handle);
// UI thread. The stored network printer into *printer (defaults where the
// store holds nothing); and storing it, TRUE when the store was written.
void NetLoadSettings(NetPrinter* printer);
BOOL NetSaveSettings(const NetPrinter& printer);

// The calling thread's message pump, run between the slices of a connect's
// wait so that a window opening the port keeps painting and taking input
// (and a close can stop the connect). None by default (mptest-cli).
void PortSetWaitPump(void (*pump)());
// Per system's NetConnect: runs the pump, if any.
void PortRunWaitPump();

// Set by NetConnect for NetOpenFailureDetail.
void NetNoteConnectFailure(NetFailure why, DWORD error, DWORD tookMs);
