// The pairs of a page map in the map file's own form, "PAGE MAPPED" in signed
// decimal, made from the library's dump as it is written.
#pragma once

#include <cstdio>
#include <streambuf>
#include <string>

// A stream buffer to put under std::cout while the library dumps a page map:
// each dump line, "Original Page : P Mapped Page : M" with unsigned numbers,
// goes to `out` as "P M" with the numbers signed.
class PairLines : public std::streambuf {
  public:
    explicit PairLines(std::FILE *out) : out_(out) {}
    // False when a dump line was not of the expected form.
    bool wellFormed() const { return wellFormed_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *text, std::streamsize size) override;

  private:
    void endLine();

    std::FILE *out_;
    std::string line_;
    bool wellFormed_ = true;
};
