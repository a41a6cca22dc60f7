#include "settings/line_store.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

constexpr int kChunkMax = 512;
// Lists shorter than this are searched by name line by line; a hash index would
// cost more than it saves.
constexpr int kIndexThreshold = 48;

bool IsAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

unsigned char AsciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Case folding of a name that holds non-ASCII bytes: UTF-8 when the bytes are
// valid UTF-8, Latin-1 otherwise, so that no two different byte strings fold
// together by decoding errors.
QByteArray FoldedUtf8(std::string_view s)
{
    const QByteArrayView view(s.data(), static_cast<qsizetype>(s.size()));
    const QString text = view.isValidUtf8() ? QString::fromUtf8(view) : QString::fromLatin1(view);
    return text.toCaseFolded().toUtf8();
}

std::uint64_t HashBytes(std::uint64_t h, const unsigned char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}

constexpr std::uint64_t kHashSeed = 0xcbf29ce484222325ULL;

std::uint64_t Mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

int CompareBytes(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    if (n > 0) {
        const int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    if (IsAscii(a) && IsAscii(b)) {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char x = AsciiLower(static_cast<unsigned char>(a[i]));
            const unsigned char y = AsciiLower(static_cast<unsigned char>(b[i]));
            if (x != y)
                return x < y ? -1 : 1;
        }
        if (a.size() == b.size())
            return 0;
        return a.size() < b.size() ? -1 : 1;
    }
    const QByteArray fa = FoldedUtf8(a);
    const QByteArray fb = FoldedUtf8(b);
    return CompareBytes(std::string_view(fa.constData(), fa.size()), std::string_view(fb.constData(), fb.size()));
}

} // namespace

struct TLineNode {
    TLineChunk* chunk;
    std::uint32_t size;
    std::uint8_t tag;
    std::uint8_t reserved[3];

    const char* Data() const { return reinterpret_cast<const char*>(this + 1); }
    char* Data() { return reinterpret_cast<char*>(this + 1); }
    std::string_view Text() const { return std::string_view(Data(), size); }
};
static_assert(sizeof(TLineNode) == 16, "line header stays small: big lists hold millions");

struct TLineChunk {
    int index = 0;
    int count = 0;
    std::uint32_t tagCount[8] = {};
    TLineNode* nodes[kChunkMax];
};

TListIndexError::TListIndexError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")")
{
}

std::string_view LineName(std::string_view line, bool* hasName)
{
    const std::size_t eq = line.find('=');
    if (hasName)
        *hasName = eq != std::string_view::npos;
    if (eq == std::string_view::npos)
        return {};
    return line.substr(0, eq);
}

std::string_view LineValue(std::string_view line)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return {};
    return line.substr(eq + 1);
}

// Hash index from line names to the first line carrying each name. Names held by
// more than one line are counted aside; only removing the first of such lines
// needs a scan to find its successor. A slot keeps 16 bits of its name's hash
// beside the line's address, so probing past other names reads no line.
class TNameIndex {
public:
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

    explicit TNameIndex(const TLineStore& store) : m_store(store) {}

    void Build()
    {
        std::size_t capacity = 16;
        while (capacity * 3 < static_cast<std::size_t>(m_store.Count()) * 4 + 4)
            capacity *= 2;
        m_slots.assign(capacity, 0);
        m_used = 0;
        m_extra.clear();
        for (TLineChunk* chunk : m_store.m_chunks)
            for (int i = 0; i < chunk->count; ++i)
                AddInOrder(chunk->nodes[i]);
    }

    // the slot holding the first line of that name, kNoSlot when none
    std::size_t FindSlot(std::string_view name) const
    {
        const std::size_t slot = SlotOf(name, Hash(name));
        return m_slots[slot] ? slot : kNoSlot;
    }
    TLineNode* At(std::size_t slot) const { return NodeOf(m_slots[slot]); }
    // the line in slot was replaced in place by one of the same name
    void Reseat(std::size_t slot, TLineNode* node) { m_slots[slot] = Pack(node, m_slots[slot] >> 48); }

    TLineNode* Find(std::string_view name) const
    {
        const std::size_t slot = FindSlot(name);
        return slot == kNoSlot ? nullptr : At(slot);
    }

    // node has just entered the list at its position
    void Added(TLineNode* node)
    {
        bool hasName = false;
        const std::string_view name = LineName(node->Text(), &hasName);
        if (!hasName)
            return;
        const std::uint64_t hash = Hash(name);
        const std::size_t slot = SlotOf(name, hash);
        if (m_slots[slot] == 0) {
            Place(slot, node, hash);
            return;
        }
        ++m_extra[Key(name)];
        if (m_store.PositionOf(node) < m_store.PositionOf(At(slot)))
            Reseat(slot, node);
    }

    // node has just left the list (it is not freed yet)
    void Removed(TLineNode* node)
    {
        bool hasName = false;
        const std::string_view name = LineName(node->Text(), &hasName);
        if (!hasName)
            return;
        const std::size_t slot = SlotOf(name, Hash(name));
        if (m_slots[slot] == 0)
            return;
        const std::string key = Key(name);
        const auto extra = m_extra.find(key);
        if (At(slot) == node) {
            if (extra == m_extra.end()) {
                Erase(slot);
                return;
            }
            if (--extra->second == 0)
                m_extra.erase(extra);
            Reseat(slot, m_store.FirstNodeNamed(name, node));
        } else if (extra != m_extra.end()) {
            if (--extra->second == 0)
                m_extra.erase(extra);
        }
    }

    // newNode has taken oldNode's place in the list
    void Replaced(TLineNode* oldNode, TLineNode* newNode)
    {
        bool oldHas = false;
        bool newHas = false;
        const std::string_view oldName = LineName(oldNode->Text(), &oldHas);
        const std::string_view newName = LineName(newNode->Text(), &newHas);
        if (oldHas && newHas && m_store.NamesEqual(oldName, newName)) {
            const std::size_t slot = SlotOf(newName, Hash(newName));
            if (At(slot) == oldNode)
                Reseat(slot, newNode);
            return;
        }
        Removed(oldNode);
        Added(newNode);
    }

private:
    static std::uint64_t Pack(const TLineNode* node, std::uint64_t tag)
    {
        return (tag << 48) | reinterpret_cast<std::uintptr_t>(node);
    }
    static TLineNode* NodeOf(std::uint64_t slot)
    {
        return reinterpret_cast<TLineNode*>(static_cast<std::uintptr_t>(slot & 0x0000FFFFFFFFFFFFULL));
    }

    std::uint64_t Hash(std::string_view name) const
    {
        const auto* p = reinterpret_cast<const unsigned char*>(name.data());
        if (m_store.m_caseSensitive)
            return Mix(HashBytes(kHashSeed, p, name.size()));
        if (IsAscii(name)) {
            std::uint64_t h = kHashSeed;
            for (unsigned char c : name) {
                h ^= AsciiLower(c);
                h *= 0x100000001b3ULL;
            }
            return Mix(h);
        }
        const QByteArray folded = FoldedUtf8(name);
        return Mix(HashBytes(kHashSeed, reinterpret_cast<const unsigned char*>(folded.constData()),
                             static_cast<std::size_t>(folded.size())));
    }

    std::uint64_t HashOfNode(const TLineNode* node) const { return Hash(LineName(node->Text())); }

    std::string Key(std::string_view name) const
    {
        if (m_store.m_caseSensitive)
            return std::string(name);
        if (IsAscii(name)) {
            std::string key(name);
            for (char& c : key)
                c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
            return key;
        }
        const QByteArray folded = FoldedUtf8(name);
        return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
    }

    // the slot holding name, or the empty slot where it would go
    std::size_t SlotOf(std::string_view name, std::uint64_t hash) const
    {
        const std::size_t mask = m_slots.size() - 1;
        const std::uint64_t tag = hash >> 48;
        std::size_t i = hash & mask;
        while (const std::uint64_t slot = m_slots[i]) {
            if ((slot >> 48) == tag && m_store.NamesEqual(LineName(NodeOf(slot)->Text()), name))
                return i;
            i = (i + 1) & mask;
        }
        return i;
    }

    void AddInOrder(TLineNode* node)
    {
        bool hasName = false;
        const std::string_view name = LineName(node->Text(), &hasName);
        if (!hasName)
            return;
        const std::uint64_t hash = Hash(name);
        const std::size_t slot = SlotOf(name, hash);
        if (m_slots[slot] == 0)
            Place(slot, node, hash);
        else
            ++m_extra[Key(name)];
    }

    void Place(std::size_t slot, TLineNode* node, std::uint64_t hash)
    {
        m_slots[slot] = Pack(node, hash >> 48);
        ++m_used;
        if (m_used * 4 > m_slots.size() * 3)
            Grow();
    }

    void Grow()
    {
        std::vector<std::uint64_t> old;
        old.swap(m_slots);
        m_slots.assign(old.size() * 2, 0);
        const std::size_t mask = m_slots.size() - 1;
        for (std::uint64_t slot : old) {
            if (!slot)
                continue;
            const std::uint64_t hash = HashOfNode(NodeOf(slot));
            std::size_t i = hash & mask;
            while (m_slots[i])
                i = (i + 1) & mask;
            m_slots[i] = slot;
        }
    }

    // backward-shift deletion keeps every probe chain unbroken without tombstones
    void Erase(std::size_t slot)
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t hole = slot;
        std::size_t i = (slot + 1) & mask;
        while (const std::uint64_t entry = m_slots[i]) {
            const std::size_t home = HashOfNode(NodeOf(entry)) & mask;
            // move the entry into the hole when its home lies cyclically outside (hole, i]
            const bool inRange = (hole <= i) ? (home > hole && home <= i) : (home > hole || home <= i);
            if (!inRange) {
                m_slots[hole] = entry;
                hole = i;
            }
            i = (i + 1) & mask;
        }
        m_slots[hole] = 0;
        --m_used;
    }

    const TLineStore& m_store;
    std::vector<std::uint64_t> m_slots;
    std::size_t m_used = 0;
    std::unordered_map<std::string, int> m_extra;
};

TLineStore::TLineStore() = default;

TLineStore::~TLineStore()
{
    m_index.reset();
    for (TLineChunk* chunk : m_chunks) {
        for (int i = 0; i < chunk->count; ++i)
            FreeNode(chunk->nodes[i]);
        delete chunk;
    }
}

TLineNode* TLineStore::MakeNode(std::string_view line) const
{
    void* memory = ::operator new(sizeof(TLineNode) + line.size());
    auto* node = new (memory) TLineNode;
    node->chunk = nullptr;
    node->size = static_cast<std::uint32_t>(line.size());
    node->tag = m_classifier ? m_classifier(line) : 0;
    if (!line.empty())
        std::memcpy(node->Data(), line.data(), line.size());
    return node;
}

void TLineStore::FreeNode(TLineNode* node) const
{
    node->~TLineNode();
    ::operator delete(node);
}

void TLineStore::CountTag(TLineChunk* chunk, std::uint8_t tag, int delta) const
{
    for (int bit = 0; bit < 8; ++bit)
        if (tag & (1u << bit))
            chunk->tagCount[bit] = static_cast<std::uint32_t>(static_cast<int>(chunk->tagCount[bit]) + delta);
}

// Fenwick tree over the chunks' line counts: m_fenwick[k] covers chunks
// (k - lowbit(k), k], one-based.
void TLineStore::RebuildChunkIndex()
{
    const int n = static_cast<int>(m_chunks.size());
    m_fenwick.assign(static_cast<std::size_t>(n) + 1, 0);
    for (int k = 0; k < n; ++k) {
        m_chunks[static_cast<std::size_t>(k)]->index = k;
        m_fenwick[static_cast<std::size_t>(k) + 1] += m_chunks[static_cast<std::size_t>(k)]->count;
        const int parent = (k + 1) + ((k + 1) & -(k + 1));
        if (parent <= n)
            m_fenwick[static_cast<std::size_t>(parent)] += m_fenwick[static_cast<std::size_t>(k) + 1];
    }
    m_cacheChunk = -1;
}

void TLineStore::ChunkCountChanged(int chunkIndex, int delta)
{
    const int n = static_cast<int>(m_chunks.size());
    for (int k = chunkIndex + 1; k <= n; k += k & -k)
        m_fenwick[static_cast<std::size_t>(k)] += delta;
}

int TLineStore::ChunkStart(int chunkIndex) const
{
    int sum = 0;
    for (int k = chunkIndex; k > 0; k -= k & -k)
        sum += m_fenwick[static_cast<std::size_t>(k)];
    return sum;
}

TLineStore::TLocation TLineStore::Locate(int index) const
{
    if (index < 0 || index >= m_count)
        throw TListIndexError(index);
    const int n = static_cast<int>(m_chunks.size());
    // sequential walks stay in the chunk found last or move to the next one
    if (m_cacheChunk >= 0 && m_cacheChunk < n) {
        const int start = ChunkStart(m_cacheChunk);
        TLineChunk* chunk = m_chunks[static_cast<std::size_t>(m_cacheChunk)];
        if (index >= start && index < start + chunk->count)
            return {chunk, index - start};
        if (index >= start + chunk->count && m_cacheChunk + 1 < n) {
            TLineChunk* next = m_chunks[static_cast<std::size_t>(m_cacheChunk) + 1];
            const int nextStart = start + chunk->count;
            if (index < nextStart + next->count) {
                ++m_cacheChunk;
                return {next, index - nextStart};
            }
        }
    }
    // descend the Fenwick tree to the chunk holding index
    int position = 0;
    int remaining = index;
    int step = 1;
    while (step * 2 <= n)
        step *= 2;
    for (; step > 0; step /= 2) {
        const int next = position + step;
        if (next <= n && m_fenwick[static_cast<std::size_t>(next)] <= remaining) {
            position = next;
            remaining -= m_fenwick[static_cast<std::size_t>(next)];
        }
    }
    m_cacheChunk = position;
    return {m_chunks[static_cast<std::size_t>(position)], remaining};
}

int TLineStore::PositionOf(const TLineNode* node) const
{
    const TLineChunk* chunk = node->chunk;
    for (int i = 0; i < chunk->count; ++i)
        if (chunk->nodes[i] == node)
            return ChunkStart(chunk->index) + i;
    return -1;
}

TLineNode* TLineStore::NodeAt(int index) const
{
    const TLocation loc = Locate(index);
    return loc.chunk->nodes[loc.offset];
}

std::string_view TLineStore::Get(int index) const
{
    return NodeAt(index)->Text();
}

std::string_view TLineStore::GetName(int index) const
{
    return LineName(Get(index));
}

void TLineStore::Put(int index, std::string_view line)
{
    if (m_sorted) {
        Delete(index);
        Add(line);
        return;
    }
    const TLocation loc = Locate(index);
    TLineNode* old = loc.chunk->nodes[loc.offset];
    TLineNode* node = MakeNode(line);
    node->chunk = loc.chunk;
    loc.chunk->nodes[loc.offset] = node;
    CountTag(loc.chunk, old->tag, -1);
    CountTag(loc.chunk, node->tag, +1);
    m_textBytes += node->size;
    m_textBytes -= old->size;
    if (m_index)
        m_index->Replaced(old, node);
    FreeNode(old);
}

void TLineStore::SplitChunk(int chunkIndex)
{
    TLineChunk* chunk = m_chunks[static_cast<std::size_t>(chunkIndex)];
    auto* second = new TLineChunk;
    const int keep = chunk->count / 2;
    second->count = chunk->count - keep;
    for (int i = 0; i < second->count; ++i) {
        TLineNode* node = chunk->nodes[keep + i];
        second->nodes[i] = node;
        node->chunk = second;
        CountTag(chunk, node->tag, -1);
        CountTag(second, node->tag, +1);
    }
    chunk->count = keep;
    m_chunks.insert(m_chunks.begin() + chunkIndex + 1, second);
    RebuildChunkIndex();
}

void TLineStore::RemoveChunk(int chunkIndex)
{
    delete m_chunks[static_cast<std::size_t>(chunkIndex)];
    m_chunks.erase(m_chunks.begin() + chunkIndex);
    RebuildChunkIndex();
}

void TLineStore::InsertAt(int index, std::string_view line)
{
    if (index < 0 || index > m_count)
        throw TListIndexError(index);
    TLineNode* node = MakeNode(line);
    TLineChunk* chunk = nullptr;
    int offset = 0;
    if (index == m_count) {
        if (m_chunks.empty() || m_chunks.back()->count == kChunkMax) {
            auto* fresh = new TLineChunk;
            fresh->index = static_cast<int>(m_chunks.size());
            m_chunks.push_back(fresh);
            // extend the Fenwick tree by one slot: it covers (k - lowbit(k), k]
            const int k = static_cast<int>(m_chunks.size());
            m_fenwick.resize(static_cast<std::size_t>(k) + 1);
            m_fenwick[static_cast<std::size_t>(k)] = ChunkStart(k - 1) - ChunkStart(k - (k & -k));
        }
        chunk = m_chunks.back();
        offset = chunk->count;
    } else {
        TLocation loc = Locate(index);
        if (loc.chunk->count == kChunkMax) {
            SplitChunk(loc.chunk->index);
            loc = Locate(index);
        }
        chunk = loc.chunk;
        offset = loc.offset;
        std::memmove(&chunk->nodes[offset + 1], &chunk->nodes[offset],
                     sizeof(TLineNode*) * static_cast<std::size_t>(chunk->count - offset));
    }
    chunk->nodes[offset] = node;
    node->chunk = chunk;
    ++chunk->count;
    ++m_count;
    m_textBytes += node->size;
    CountTag(chunk, node->tag, +1);
    ChunkCountChanged(chunk->index, +1);
    if (m_index)
        m_index->Added(node);
}

int TLineStore::SortedPosition(std::string_view line, bool* found) const
{
    *found = false;
    // find the first chunk whose last line is not below line, then halve inside it
    int lo = 0;
    int hi = static_cast<int>(m_chunks.size());
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const TLineChunk* chunk = m_chunks[static_cast<std::size_t>(mid)];
        if (CompareLines(chunk->nodes[chunk->count - 1]->Text(), line) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == static_cast<int>(m_chunks.size()))
        return m_count;
    const TLineChunk* chunk = m_chunks[static_cast<std::size_t>(lo)];
    int a = 0;
    int b = chunk->count;
    while (a < b) {
        const int mid = (a + b) / 2;
        if (CompareLines(chunk->nodes[mid]->Text(), line) < 0)
            a = mid + 1;
        else
            b = mid;
    }
    if (a < chunk->count && CompareLines(chunk->nodes[a]->Text(), line) == 0)
        *found = true;
    return ChunkStart(lo) + a;
}

int TLineStore::Add(std::string_view line)
{
    if (m_sorted) {
        bool found = false;
        const int position = SortedPosition(line, &found);
        if (found)
            return position;
        InsertAt(position, line);
        return position;
    }
    InsertAt(m_count, line);
    return m_count - 1;
}

bool TLineStore::AddIfAbsent(std::string_view line)
{
    if (!m_sorted) {
        if (IndexOf(line) >= 0)
            return false;
        InsertAt(m_count, line);
        return true;
    }
    bool found = false;
    const int position = SortedPosition(line, &found);
    if (found)
        return false;
    InsertAt(position, line);
    return true;
}

void TLineStore::Insert(int index, std::string_view line)
{
    if (m_sorted) {
        Add(line);
        return;
    }
    InsertAt(index, line);
}

void TLineStore::Delete(int index)
{
    const TLocation loc = Locate(index);
    TLineChunk* chunk = loc.chunk;
    TLineNode* node = chunk->nodes[loc.offset];
    std::memmove(&chunk->nodes[loc.offset], &chunk->nodes[loc.offset + 1],
                 sizeof(TLineNode*) * static_cast<std::size_t>(chunk->count - loc.offset - 1));
    --chunk->count;
    --m_count;
    m_textBytes -= node->size;
    CountTag(chunk, node->tag, -1);
    ChunkCountChanged(chunk->index, -1);
    if (chunk->count == 0)
        RemoveChunk(chunk->index);
    if (m_index)
        m_index->Removed(node);
    FreeNode(node);
}

void TLineStore::Clear()
{
    m_index.reset();
    for (TLineChunk* chunk : m_chunks) {
        for (int i = 0; i < chunk->count; ++i)
            FreeNode(chunk->nodes[i]);
        delete chunk;
    }
    m_chunks.clear();
    m_fenwick.assign(1, 0);
    m_count = 0;
    m_textBytes = 0;
    m_cacheChunk = -1;
}

void TLineStore::Reserve(int lines)
{
    m_chunks.reserve(static_cast<std::size_t>(lines / kChunkMax + 1));
}

bool TLineStore::NamesEqual(std::string_view a, std::string_view b) const
{
    if (m_caseSensitive)
        return a == b;
    if (IsAscii(a) && IsAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
    return FoldedUtf8(a) == FoldedUtf8(b);
}

int TLineStore::CompareLines(std::string_view a, std::string_view b) const
{
    return m_caseSensitive ? CompareBytes(a, b) : CompareNoCase(a, b);
}

int TLineStore::IndexOf(std::string_view line) const
{
    if (m_sorted) {
        bool found = false;
        const int position = SortedPosition(line, &found);
        return found ? position : -1;
    }
    int position = 0;
    for (const TLineChunk* chunk : m_chunks) {
        for (int i = 0; i < chunk->count; ++i)
            if (CompareLines(chunk->nodes[i]->Text(), line) == 0)
                return position + i;
        position += chunk->count;
    }
    return -1;
}

TNameIndex* TLineStore::Index() const
{
    if (!m_index && m_count >= kIndexThreshold) {
        m_index = std::make_unique<TNameIndex>(*this);
        m_index->Build();
    }
    return m_index.get();
}

TLineNode* TLineStore::FirstNodeNamed(std::string_view name, const TLineNode* except) const
{
    for (const TLineChunk* chunk : m_chunks)
        for (int i = 0; i < chunk->count; ++i) {
            TLineNode* node = chunk->nodes[i];
            if (node == except)
                continue;
            bool hasName = false;
            const std::string_view lineName = LineName(node->Text(), &hasName);
            if (hasName && NamesEqual(lineName, name))
                return node;
        }
    return nullptr;
}

int TLineStore::IndexOfName(std::string_view name) const
{
    if (TNameIndex* index = Index()) {
        TLineNode* node = index->Find(name);
        return node ? PositionOf(node) : -1;
    }
    TLineNode* node = FirstNodeNamed(name, nullptr);
    return node ? PositionOf(node) : -1;
}

bool TLineStore::FindValue(std::string_view name, std::string_view* value) const
{
    TNameIndex* index = Index();
    TLineNode* node = index ? index->Find(name) : FirstNodeNamed(name, nullptr);
    if (!node)
        return false;
    *value = LineValue(node->Text());
    return true;
}

void TLineStore::ReplaceOrAppendByName(std::string_view name, std::string_view line)
{
    TNameIndex* index = Index();
    std::size_t slot = TNameIndex::kNoSlot;
    TLineNode* old = nullptr;
    if (index) {
        slot = index->FindSlot(name);
        old = slot == TNameIndex::kNoSlot ? nullptr : index->At(slot);
    } else {
        old = FirstNodeNamed(name, nullptr);
    }
    if (!old) {
        Add(line);
        return;
    }
    if (m_sorted) {
        Put(PositionOf(old), line);
        return;
    }
    // replace the line in its chunk; the new line carries the same name, so the
    // index slot only changes its pointer
    TLineChunk* chunk = old->chunk;
    int offset = 0;
    while (chunk->nodes[offset] != old)
        ++offset;
    TLineNode* node = MakeNode(line);
    node->chunk = chunk;
    chunk->nodes[offset] = node;
    CountTag(chunk, old->tag, -1);
    CountTag(chunk, node->tag, +1);
    m_textBytes += node->size;
    m_textBytes -= old->size;
    if (index) {
        bool hasName = false;
        const std::string_view newName = LineName(node->Text(), &hasName);
        if (hasName && NamesEqual(newName, name))
            index->Reseat(slot, node);
        else
            index->Replaced(old, node);
    }
    FreeNode(old);
}

bool TLineStore::DeleteByName(std::string_view name)
{
    const int position = IndexOfName(name);
    if (position < 0)
        return false;
    Delete(position);
    return true;
}

void TLineStore::Sort()
{
    std::vector<TLineNode*> nodes;
    nodes.reserve(static_cast<std::size_t>(m_count));
    bool inOrder = true;
    for (const TLineChunk* chunk : m_chunks)
        for (int i = 0; i < chunk->count; ++i) {
            if (inOrder && !nodes.empty() && CompareLines(nodes.back()->Text(), chunk->nodes[i]->Text()) > 0)
                inOrder = false;
            nodes.push_back(chunk->nodes[i]);
        }
    if (inOrder)
        return;
    std::stable_sort(nodes.begin(), nodes.end(), [this](const TLineNode* a, const TLineNode* b) {
        return CompareLines(a->Text(), b->Text()) < 0;
    });
    for (TLineChunk* chunk : m_chunks)
        delete chunk;
    m_chunks.clear();
    for (std::size_t i = 0; i < nodes.size(); i += kChunkMax) {
        auto* chunk = new TLineChunk;
        chunk->count = static_cast<int>(std::min<std::size_t>(kChunkMax, nodes.size() - i));
        for (int j = 0; j < chunk->count; ++j) {
            TLineNode* node = nodes[i + static_cast<std::size_t>(j)];
            chunk->nodes[j] = node;
            node->chunk = chunk;
            CountTag(chunk, node->tag, +1);
        }
        m_chunks.push_back(chunk);
    }
    RebuildChunkIndex();
    m_index.reset();
}

void TLineStore::SetSorted(bool sorted)
{
    if (sorted && !m_sorted)
        Sort();
    m_sorted = sorted;
}

void TLineStore::SetCaseSensitive(bool caseSensitive)
{
    if (caseSensitive == m_caseSensitive)
        return;
    m_caseSensitive = caseSensitive;
    m_index.reset();
    if (m_sorted)
        Sort();
}

void TLineStore::SetClassifier(TLineClassifier classifier)
{
    m_classifier = classifier;
    for (TLineChunk* chunk : m_chunks) {
        std::fill(std::begin(chunk->tagCount), std::end(chunk->tagCount), 0u);
        for (int i = 0; i < chunk->count; ++i) {
            TLineNode* node = chunk->nodes[i];
            node->tag = classifier ? classifier(node->Text()) : 0;
            CountTag(chunk, node->tag, +1);
        }
    }
}

std::uint8_t TLineStore::TagAt(int index) const
{
    return NodeAt(index)->tag;
}

int TLineStore::FindTagged(std::uint8_t mask, int from) const
{
    if (from < 0)
        from = 0;
    if (from >= m_count || mask == 0)
        return -1;
    const TLocation loc = Locate(from);
    int chunkIndex = loc.chunk->index;
    int offset = loc.offset;
    int start = from - offset;
    const int n = static_cast<int>(m_chunks.size());
    for (; chunkIndex < n; ++chunkIndex) {
        const TLineChunk* chunk = m_chunks[static_cast<std::size_t>(chunkIndex)];
        bool any = false;
        for (int bit = 0; bit < 8 && !any; ++bit)
            any = (mask & (1u << bit)) && chunk->tagCount[bit] > 0;
        if (any)
            for (int i = offset; i < chunk->count; ++i)
                if (chunk->nodes[i]->tag & mask)
                    return start + i;
        start += chunk->count;
        offset = 0;
    }
    return -1;
}

int TLineStore::FindTaggedBefore(std::uint8_t mask, int from) const
{
    if (from >= m_count)
        from = m_count - 1;
    if (from < 0 || mask == 0)
        return -1;
    const TLocation loc = Locate(from);
    int chunkIndex = loc.chunk->index;
    int offset = loc.offset;
    int start = from - offset;
    for (; chunkIndex >= 0; --chunkIndex) {
        const TLineChunk* chunk = m_chunks[static_cast<std::size_t>(chunkIndex)];
        if (offset < 0) {
            offset = chunk->count - 1;
            start -= chunk->count;
        }
        bool any = false;
        for (int bit = 0; bit < 8 && !any; ++bit)
            any = (mask & (1u << bit)) && chunk->tagCount[bit] > 0;
        if (any)
            for (int i = offset; i >= 0; --i)
                if (chunk->nodes[i]->tag & mask)
                    return start + i;
        offset = -1;
    }
    return -1;
}

void TLineStore::AssignLines(const TLineStore& source)
{
    if (&source == this)
        return;
    Clear();
    const bool wasSorted = m_sorted;
    m_sorted = false;
    for (const TLineChunk* chunk : source.m_chunks)
        for (int i = 0; i < chunk->count; ++i)
            InsertAt(m_count, chunk->nodes[i]->Text());
    m_sorted = wasSorted;
    if (m_sorted)
        Sort();
}

void TLineStore::SwapLines(TLineStore& other)
{
    std::swap(m_chunks, other.m_chunks);
    std::swap(m_fenwick, other.m_fenwick);
    std::swap(m_count, other.m_count);
    std::swap(m_textBytes, other.m_textBytes);
    m_index.reset();
    other.m_index.reset();
    m_cacheChunk = -1;
    other.m_cacheChunk = -1;
    if (m_classifier != other.m_classifier) {
        SetClassifier(m_classifier);
        other.SetClassifier(other.m_classifier);
    }
    if (m_sorted)
        Sort();
    if (other.m_sorted)
        other.Sort();
}
