#pragma once
// The component's table of 23 error messages, indexed by port error code,
// and the suffix that carries a system error code.
//
// Texts are UTF-8 byte strings on every platform (the component keeps no wide
// texts); a translator must hand back UTF-8.
//
// Lifecycle: the program's start-up calls InitComPortMessages once, before
// any port exists and before any other thread runs; it fills every entry
// with the translation of its English text and keeps the translator to look
// the suffix up again at every error. Without that call the English texts
// stand and the suffix is used as written. A later call refills the table
// (tests do this); the functions are safe to call from any thread.
#include <functional>
#include <string>

namespace cport {

// Given an English text, returns its translation or the text itself.
using ComTextTranslator = std::function<std::string(const char* english)>;

inline constexpr int kComPortMessageCount = 23;
// The suffix appended to a message that carries a system error code: "%d"
// stands for the code, "%s" (where the form has it) for the system's own text
// of it (SystemErrorText). The form is chosen here, once, for the platform
// whose error codes the device layer reports: errno values on POSIX, which
// read as what they are; the GetLastError wording for a Win32 device layer.
#if defined(_WIN32)
inline constexpr const char* kSystemCodeSuffix = " (win error code: %d)";
#else
inline constexpr const char* kSystemCodeSuffix = " (system error %d: %s)";
#endif

// The English text of port error code 1 to 23; nullptr for any other code.
const char* ComPortEnglishMessage(int code) noexcept;

// Fills the table through `translate` (a null translator restores English).
void InitComPortMessages(ComTextTranslator translate);

// The table entry of `code` (empty outside 1 to 23).
std::string ComPortMessage(int code);
// kSystemCodeSuffix translated now, by the translator given at start.
std::string TranslatedSystemCodeSuffix();
// The operating system's text for one of its error codes (strerror on POSIX,
// in the language of the current locale), for the suffix's "%s".
std::string SystemErrorText(int code);

}  // namespace cport
