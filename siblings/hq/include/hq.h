// The environment's hierarchical-name library, as libtrel uses it: parsing,
// editing and printing of hierarchical instance names.
//
// A hierarchical name is a path of elements separated by "/":
//
//   cname := elem { "/" elem }
//   elem  := [ head ] [ "(" lib "." cell ":" view ")" ]   at least one of the two
//   head  := name "@" page                                 instance `name` on page `page`
//          | name                                          a label (no instance, page 0)
//   page  := a decimal number from 1 to 2147483647, without leading zeros
//   name, lib, cell, view := one or more characters other than / ( ) . : @ and
//                            white space, not beginning with a backslash; or a
//                            VHDL extended identifier \...\ (any characters
//                            between the backslashes, a doubled \\ standing for
//                            one; at least one)
//
// Names are kept exactly as written, extended identifiers with their
// backslashes: converting them is the name mapper's work. An element prints as
// its label when it has one, otherwise as name@page, or name alone when its
// page is 0; then "(lib.cell:view)" when it names a design unit. Printing a
// parsed name gives the same text back.
//
// Example: top(work.top:sch)/U1@3(work.alu:sch) has two elements: the label
// top naming work.top:sch, and instance U1 on page 3 naming work.alu:sch.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(HQ_BUILDING)
#define HQ_EXPORT __declspec(dllexport)
#else
#define HQ_EXPORT __declspec(dllimport)
#endif
#else
#define HQ_EXPORT __attribute__((visibility("default")))
#endif

// One element of a path. Elements are made by parsing an hqPath and belong to
// it: they live exactly as long as that path, attached or not. An element
// never moves, so the texts it hands out stay where they are.
class HQ_EXPORT hqPathElem {
  public:
    hqPathElem() = default;
    hqPathElem(const hqPathElem &) = delete;
    hqPathElem &operator=(const hqPathElem &) = delete;

    // The design unit the element names; all three null when it names none.
    const char *lib = nullptr;
    const char *cell = nullptr;
    const char *view = nullptr;

    // The label, or null. Read and written directly: a text assigned here is
    // printed as it is and must outlive the element's use. setLabel is the
    // safe way to change it, since the element then keeps its own copy.
    const char *label = nullptr;

    // The page number of an instance element; 0 when the element has none.
    int page() const { return page_; }
    // The instance name, or null for a label element or a bare unit.
    const char *inst() const { return inst_; }

    // Replaces the label with a copy of `text` (null removes the label). The
    // element owns the copy, so the caller may reuse its buffer at once.
    void setLabel(const char *text);

  private:
    friend class hqPath;

    const char *inst_ = nullptr;
    int page_ = 0;
    std::string ownedLabel_;
};

// A parsed hierarchical name and its current sequence of elements.
class HQ_EXPORT hqPath {
  public:
    // Parses `text` (read only during the call). On success `valid` is 1 and
    // the path holds the text's elements in order; otherwise `valid` is 0 and
    // the path is empty.
    explicit hqPath(const char *text);
    hqPath(const hqPath &) = delete;
    hqPath &operator=(const hqPath &) = delete;
    ~hqPath();

    // 1 when the text given to the constructor was a hierarchical name.
    unsigned char valid = 0;

    // With first = 1: the first element; with 0: the element after the one
    // returned last. Null when there is none.
    hqPathElem *parsePathElem(int first);
    // Detaches the last element and returns it (it still belongs to this
    // path), or null when the path is empty.
    hqPathElem *breakPath();
    // The current last element, or null when the path is empty.
    hqPathElem *lastPathElem() const;
    // Attaches `elem` at the end; a null element is ignored. An element of
    // another path must outlive this one's use of it.
    void appendPath(hqPathElem *elem);
    // Number of elements currently in the path.
    std::size_t size() const { return sequence_.size(); }

    // The path's current text, reflecting its elements' labels. Valid until
    // the next conversion or the path's end.
    operator const char *();

  private:
    bool parse(const char *text);

    std::string names_;                       // the text, cut into names by NULs
    std::unique_ptr<hqPathElem[]> elements_;  // every element parsed, in order
    std::vector<hqPathElem *> sequence_;      // the path as it stands now
    std::size_t next_ = 0;                    // index parsePathElem(0) returns
    std::string text_;                        // the last printed text
};
