#pragma once

#include "settings/options_list.h"
#include "settings/persist.h"
#include "settings/text_lines.h"

#include <functional>
#include <string>
#include <string_view>

// A collection of named options lists with a sectioned text form: each list as a
// line "[name]", its lines, and one empty line.
class TMultiOptions : public TPersistObjList<TOptionsList> {
public:
    TMultiOptions();
    ~TMultiOptions() override;
    TMultiOptions(const TMultiOptions&) = delete;
    TMultiOptions& operator=(const TMultiOptions&) = delete;

    TOptionsList* AddList();
    // First list whose name equals name exactly; records its position in it.
    TOptionsList* FindList(std::string_view name) const;
    TOptionsList* GetList(std::string_view name);
    TOptionsList* ListAt(int index) const;

    bool SaveToStream(QIODevice& stream) override;
    bool LoadFromStream(QIODevice& stream) override;

    std::string SectionedText() const;
    void SetSectionedText(std::string_view text);
    // Size in bytes of the sectioned text, without making it.
    qint64 SectionedSize() const;
    // Hands the sectioned text to sink in pieces of about pieceSize bytes;
    // stops and returns false as soon as sink does.
    bool WriteSectioned(const std::function<bool(std::string_view)>& sink, std::size_t pieceSize = 1 << 20) const;

    // Exchanges the lists of two collections.
    void SwapLists(TMultiOptions& other);

protected:
    TOptionsList* CreateItem() override;
};

// Reads the sectioned text into a collection piece by piece; the collection's
// earlier lists are freed when reading begins.
class TSectionedReader final {
public:
    explicit TSectionedReader(TMultiOptions& target);
    void Feed(std::string_view piece);
    void Finish();

private:
    void OnLine(std::string_view line);

    TMultiOptions& m_target;
    TOptionsList* m_current = nullptr;
    TLineSplitter m_splitter;
};
