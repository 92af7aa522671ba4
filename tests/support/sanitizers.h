#pragma once
// Whether this build runs under AddressSanitizer. Its allocator takes over
// operator new (a refusal is its own report, never the program's
// new_handler) and reserves more address space than any limit would leave,
// so tests of running out of memory skip themselves there.

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

}  // namespace testsupport
