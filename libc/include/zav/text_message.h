// Numbered message texts.
#pragma once

namespace zav {

// The catalog's text for message `number` of set 1, or `default_text`. The
// descriptor string classes the message ("E ...", "P ...", "U") and takes no
// part in the lookup. errno_ is unchanged across the call.
const char* text_message(int number, const char* default_text, const char* descriptor);

// Closes the open catalog and makes a copy of `name` (or none) the catalog name.
void set_text_catalog(const char* name);
// set_text_catalog(nullptr); registered with atexit after each successful open.
void close_text_catalog();
// For "number##default" the text of that message, otherwise `text` itself.
const char* string_message(const char* text);

}  // namespace zav
