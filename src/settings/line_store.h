#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct TLineNode;
struct TLineChunk;
class TNameIndex;

// Raised for a line index outside the list.
class TListIndexError final : public std::out_of_range {
public:
    explicit TListIndexError(int index);
};

// Computes a small tag (up to 8 flag bits) for a line; the store keeps the tag
// of every line current and can find the next tagged line without reading the
// lines in between.
using TLineClassifier = std::uint8_t (*)(std::string_view line);

// An ordered list of text lines (bytes), the base of every options list.
//
// Lines live in chunks of a few hundred, so inserting near the front of a list
// of a million lines moves a few hundred pointers, not a million. The name of a
// line is the text before its first "="; names compare without regard to letter
// case unless the list is case-sensitive. Large lists build a hash index of
// their names on first lookup, so finding a line by name does not scan.
class TLineStore {
public:
    TLineStore();
    virtual ~TLineStore();
    TLineStore(const TLineStore&) = delete;
    TLineStore& operator=(const TLineStore&) = delete;

    int Count() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }

    // The line at an index; the view stays valid until the line is changed or removed.
    std::string_view Get(int index) const;
    void Put(int index, std::string_view line);
    // Appends; a sorted list puts the line at its sorted place instead and ignores
    // a line it already holds. Returns the line's index.
    int Add(std::string_view line);
    // Adds the line unless a sorted list already holds it; false when it did.
    bool AddIfAbsent(std::string_view line);
    // Inserts before index (index == Count() appends). A sorted list adds the line
    // at its sorted place instead.
    void Insert(int index, std::string_view line);
    void Delete(int index);
    void Clear();
    void Reserve(int lines);

    // Whole-line search by the list's comparison rule; a halving search when sorted.
    int IndexOf(std::string_view line) const;
    // First line whose name equals name by the list's comparison rule; -1 when none.
    int IndexOfName(std::string_view name) const;
    // The name of the line at index ("" for a line without "=").
    std::string_view GetName(int index) const;

    // The value of the first line with this name; false when no line has it.
    bool FindValue(std::string_view name, std::string_view* value) const;
    // Replaces the first line with this name by line, or appends line when none has it.
    void ReplaceOrAppendByName(std::string_view name, std::string_view line);
    // Removes the first line with this name; false when none has it.
    bool DeleteByName(std::string_view name);

    bool Sorted() const { return m_sorted; }
    void SetSorted(bool sorted);
    bool CaseSensitive() const { return m_caseSensitive; }
    void SetCaseSensitive(bool caseSensitive);
    void Sort();

    // Tags. Setting a classifier tags every line now and every line written later.
    void SetClassifier(TLineClassifier classifier);
    TLineClassifier Classifier() const { return m_classifier; }
    std::uint8_t TagAt(int index) const;
    // First index >= from whose tag shares a bit with mask; -1 when none.
    int FindTagged(std::uint8_t mask, int from = 0) const;
    // Last index <= from whose tag shares a bit with mask; -1 when none.
    int FindTaggedBefore(std::uint8_t mask, int from) const;

    // Copies all lines of another list (not its flags or classifier).
    void AssignLines(const TLineStore& source);
    // Exchanges the lines of two lists (flags and classifiers stay with each list).
    void SwapLines(TLineStore& other);

    // Compares two names by this list's rule.
    bool NamesEqual(std::string_view a, std::string_view b) const;
    int CompareLines(std::string_view a, std::string_view b) const;

    // Bytes held by the lines themselves, for callers that size a buffer.
    std::size_t TextBytes() const { return m_textBytes; }

private:
    friend class TNameIndex;

    struct TLocation {
        TLineChunk* chunk;
        int offset;
    };

    TLocation Locate(int index) const;
    int PositionOf(const TLineNode* node) const;
    int ChunkStart(int chunkIndex) const;
    TLineNode* MakeNode(std::string_view line) const;
    void FreeNode(TLineNode* node) const;
    void CountTag(TLineChunk* chunk, std::uint8_t tag, int delta) const;
    void InsertAt(int index, std::string_view line);
    void SplitChunk(int chunkIndex);
    void RemoveChunk(int chunkIndex);
    void ChunkCountChanged(int chunkIndex, int delta);
    void RebuildChunkIndex();
    int SortedPosition(std::string_view line, bool* found) const;
    TNameIndex* Index() const;
    TLineNode* FirstNodeNamed(std::string_view name, const TLineNode* except) const;
    TLineNode* NodeAt(int index) const;

    std::vector<TLineChunk*> m_chunks;
    std::vector<int> m_fenwick;  // chunk line counts, for index <-> chunk in log time
    int m_count = 0;
    std::size_t m_textBytes = 0;
    bool m_sorted = false;
    bool m_caseSensitive = false;
    TLineClassifier m_classifier = nullptr;
    mutable std::unique_ptr<TNameIndex> m_index;
    mutable int m_cacheChunk = 0;
};

// Name of a line: the text before its first "="; hasName is false without "=".
std::string_view LineName(std::string_view line, bool* hasName = nullptr);
// Value of a line: everything after its first "=" ("" without "=").
std::string_view LineValue(std::string_view line);
