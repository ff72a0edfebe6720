// The private messages that threads post to windows, and the heap blocks they
// carry. A block belongs to the receiver once the post succeeded; the sender frees
// it when the post failed, and a queued message that is never delivered frees it
// with FreeMessagePayload, so no block leaks and none is freed twice.
#pragma once

#include <cstddef>

#include "common/WindowHandle.h"

constexpr unsigned WM_CELL_NOTIFY = 2690;  // wParam: cell 0..3; lParam 1 click, 2 double-click
constexpr unsigned WM_LOG_TEXT = 2691;     // wParam: heap text; lParam 0 system, 1 capture library
constexpr unsigned WM_CAMERA_LIST = 2692;  // wParam: camera table; lParam: valid records 0..10
constexpr unsigned WM_CELL_OPEN = 2693;    // no payload

constexpr size_t kLogTextBytes = 260;  // the panel copy AppLog posts

// A NUL-terminated heap copy of text in a block of blockBytes (> 0), cut at a
// character boundary when it does not fit. Null when it cannot be allocated.
char* NewMessageText(const char* text, size_t blockBytes);
// A heap copy sized to fit the whole text.
char* NewMessageText(const char* text);
void FreeMessageText(char* text);

// Frees the block a message carries, if its kind carries one.
void FreeMessagePayload(unsigned message, WPARAM wParam, LPARAM lParam);

// Posts a heap text as WM_LOG_TEXT; frees it when the post fails or window is null.
// True when posted.
bool PostLogText(HWND window, char* text, LPARAM source);
