#include "settings/multi_options.h"

TMultiOptions::TMultiOptions() = default;
TMultiOptions::~TMultiOptions() = default;

TOptionsList* TMultiOptions::CreateItem()
{
    return new TOptionsList;
}

TOptionsList* TMultiOptions::AddList()
{
    TOptionsList* list = AddNew();
    list->SetOwner(this);
    return list;
}

TOptionsList* TMultiOptions::FindList(std::string_view name) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->Name() == name) {
            m_items[i]->SetListIndex(static_cast<int>(i));
            return m_items[i].get();
        }
    return nullptr;
}

TOptionsList* TMultiOptions::GetList(std::string_view name)
{
    if (TOptionsList* list = FindList(name))
        return list;
    TOptionsList* list = AddList();
    list->SetName(std::string(name));
    return list;
}

TOptionsList* TMultiOptions::ListAt(int index) const
{
    TOptionsList* list = At(index);
    list->SetListIndex(index);
    return list;
}

qint64 TMultiOptions::SectionedSize() const
{
    qint64 size = 0;
    for (const auto& list : m_items) {
        size += static_cast<qint64>(list->Name().size()) + 4;
        size += static_cast<qint64>(list->TextBytes()) + 2 * static_cast<qint64>(list->Count());
        size += 2;
    }
    return size;
}

bool TMultiOptions::WriteSectioned(const std::function<bool(std::string_view)>& sink, std::size_t pieceSize) const
{
    std::string piece;
    piece.reserve(pieceSize + 4096);
    auto flushIfFull = [&]() {
        if (piece.size() < pieceSize)
            return true;
        const bool ok = sink(piece);
        piece.clear();
        return ok;
    };
    for (const auto& list : m_items) {
        piece.push_back('[');
        piece.append(list->Name());
        piece.append("]\r\n");
        for (int i = 0; i < list->Count(); ++i) {
            piece.append(list->Get(i));
            piece.append("\r\n");
            if (!flushIfFull())
                return false;
        }
        piece.append("\r\n");
    }
    return piece.empty() || sink(piece);
}

std::string TMultiOptions::SectionedText() const
{
    std::string text;
    text.reserve(static_cast<std::size_t>(SectionedSize()));
    WriteSectioned([&text](std::string_view piece) {
        text.append(piece);
        return true;
    });
    return text;
}

void TMultiOptions::SetSectionedText(std::string_view text)
{
    TSectionedReader reader(*this);
    reader.Feed(text);
    reader.Finish();
}

bool TMultiOptions::SaveToStream(QIODevice& stream)
{
    return WriteSectioned([&stream](std::string_view piece) {
        return stream.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
    });
}

bool TMultiOptions::LoadFromStream(QIODevice& stream)
{
    TSectionedReader reader(*this);
    QByteArray piece;
    while (true) {
        piece = stream.read(1 << 20);
        if (piece.isEmpty())
            break;
        reader.Feed(std::string_view(piece.constData(), static_cast<std::size_t>(piece.size())));
    }
    reader.Finish();
    return true;
}

void TMultiOptions::SwapLists(TMultiOptions& other)
{
    m_items.swap(other.m_items);
    for (auto& list : m_items)
        list->SetOwner(this);
    for (auto& list : other.m_items)
        list->SetOwner(&other);
}

TSectionedReader::TSectionedReader(TMultiOptions& target) : m_target(target)
{
    m_target.Clear();
}

void TSectionedReader::OnLine(std::string_view line)
{
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        m_current = m_target.GetList(line.substr(1, line.size() - 2));
        m_current->Clear();
        return;
    }
    if (line.empty() || !m_current)
        return;
    m_current->Add(line);
}

void TSectionedReader::Feed(std::string_view piece)
{
    m_splitter.Feed(piece, [this](std::string_view line) { OnLine(line); });
}

void TSectionedReader::Finish()
{
    m_splitter.Finish([this](std::string_view line) { OnLine(line); });
}
