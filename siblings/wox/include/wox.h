// woxString: the environment's string class, as libtrel uses it. A woxString
// owns a copy of the text it was made from, so the text stays valid for as long
// as the object lives, whatever becomes of the original.
#pragma once

#include <cstddef>
#include <string>

#if defined(_WIN32)
#if defined(WOX_BUILDING)
#define WOX_EXPORT __declspec(dllexport)
#else
#define WOX_EXPORT __declspec(dllimport)
#endif
#else
#define WOX_EXPORT __attribute__((visibility("default")))
#endif

class WOX_EXPORT woxString {
  public:
    // The empty text.
    woxString();
    // A copy of `text`; a null text gives the empty text.
    explicit woxString(const char *text);

    woxString(const woxString &other);
    woxString(woxString &&other) noexcept;
    woxString &operator=(const woxString &other);
    woxString &operator=(woxString &&other) noexcept;
    ~woxString();

    // The NUL-terminated text, valid until the object is changed or destroyed.
    const char *text() const;
    // Its length in bytes, without the terminating NUL.
    std::size_t length() const;

  private:
    std::string text_;
};
