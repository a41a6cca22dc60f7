#pragma once

#include <QStringList>

#include <cstdint>
#include <string>
#include <string_view>

// The five states of a record, written as these exact strings.
inline constexpr std::string_view flsInitial = "flsInitial";
inline constexpr std::string_view flsSucceed = "flsSucceed";
inline constexpr std::string_view flsFailed = "flsFailed";
inline constexpr std::string_view flsProcessing = "flsProcessing";
inline constexpr std::string_view flsDeferred = "flsDeferred";

// The row image of a state: 0 initial, 1 succeed, 2 failed, 3 processing, 4
// deferred; -1 for any other text.
int StateImage(std::string_view status);

// One address of a project, a document or a picture, with what the crawl learnt
// of it. Lives as a line FileID=text in the project's lists.
class TFileRecord final {
public:
    TFileRecord();

    std::string URL;
    std::string FileID;
    std::string FileName;
    std::string Referer;
    std::string Status;
    std::int32_t Attempts = 0;
    std::string Origin;
    std::int32_t ContentSize = 0;
    std::string Reserved;
    std::int32_t HTTPCode = 0;
    std::string Link;
    std::string ResultText;
    qint64 ListItem = 0;  // row reference; 0 for none
    bool IsPicture = false;
    std::int32_t PicWidth = 0;
    std::int32_t PicHeight = 0;
    bool HeaderRetry = false;  // never stored

    // The 23-item comma list; fills URL from Link first when URL is empty.
    std::string ToText();
    // The list line: FileID=text.
    std::string ToLine();
    // Fills the record from a text form or a whole list line; false when it is
    // malformed (fields read before the fault keep their new values).
    bool FromText(std::string_view text);
    void Assign(TFileRecord& source);
    bool LooksLikeGallery() const;
    QStringList GetInfo() const;
    // Refreshes the record's row; its index, or -1 when there is none.
    int UpdateListItem();
};

// The words whose presence in an address marks it as gallery-like.
inline constexpr std::string_view PriorityWords[] = {"jpg", "jpeg", "image", "pic", "galler"};

// Tags of a list line by the state its text form holds (item 5 as FromText reads
// it), so that the queue finds waiting records without reading the others.
enum TStateTag : std::uint8_t {
    tagInitial = 1,
    tagDeferred = 2,
    tagSucceed = 4,
    tagProcessing = 8,
    tagFailed = 16,
};
std::uint8_t RecordStateTag(std::string_view line);

// ContentSize / 1024 rounded to the nearest whole number, halves to the even one.
std::int64_t RoundKb(std::int64_t bytes);
