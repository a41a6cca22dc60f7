#include "project/project.h"

#include "crawl/address.h"
#include "project/file_record.h"
#include "project/row_model.h"
#include "settings/app_settings.h"
#include "settings/text_convert.h"

#include <chrono>
#include <random>

namespace {

constexpr std::uint8_t kWaiting = tagInitial | tagDeferred;

} // namespace

TOptionsList& TProject::QueueList(bool pictures)
{
    TOptionsList& list = *m_lists.GetList(pictures ? "Pictures" : "Documents");
    if (list.Classifier() != &RecordStateTag)
        list.SetClassifier(&RecordStateTag);
    return list;
}

bool TProject::AcceptLink(std::string_view address) const
{
    if (AsciiLower(address.substr(0, 7)) != "http://")
        return false;
    for (std::string_view extension : ExcludedExtensions)
        if (address.find(extension) != std::string_view::npos)
            return false;
    TAddressParts parts;
    if (!SplitAddress(address, parts))
        return false;
    const std::string path = AsciiLower(parts.path);
    const bool picturePath = path.find(".jpg") != std::string::npos;
    // documents are followed only inside the domain; pictures come from anywhere
    if (GetInteger(m_options, "URLKind") == 0 && !picturePath) {
        const std::string domain = GetString(m_options, "Domain");
        if (domain.empty() || domain.find(AsciiLower(parts.host)) == std::string::npos)
            return false;
    }
    const std::string searchPath = GetString(m_options, "SearchPath");
    if (!searchPath.empty() && !picturePath && AsciiLower(address).find(AsciiLower(searchPath)) == std::string::npos)
        return false;
    return true;
}

void TProject::FilterLinks(std::vector<std::string>& links) const
{
    std::vector<std::string> kept;
    kept.reserve(links.size());
    for (std::string& link : links)
        if (AcceptLink(link))
            kept.push_back(std::move(link));
    links.swap(kept);
}

int TProject::GetInsertIndex() const
{
    const int index = GetInteger(m_options, "LastInsertedLinkIndex");
    if (index == -1)
        return GetInteger(m_options, "LastDocProcessed");
    return index;
}

void TProject::SetInsertIndex(int index)
{
    SetInteger(m_options, "LastInsertedLinkIndex", index);
}

void TProject::AddLinks(const std::vector<std::string>& links, std::string_view referer)
{
    TOptionsList& documents = QueueList(false);
    TOptionsList& pictures = QueueList(true);
    TOptionsList& known = *m_lists.GetList("Links");
    known.SetCaseSensitive(true);
    known.SetSorted(true);
    std::string_view unused;
    for (const std::string& address : links) {
        if (!known.AddIfAbsent(address))
            continue;
        TFileRecord record;
        // identifiers made in the same second differ only by their random part:
        // draw again rather than give two records one line name
        while (documents.FindValue(record.FileID, &unused) || pictures.FindValue(record.FileID, &unused))
            record.FileID = "FILE-" + NewFileID();
        record.Link = address;
        record.URL = address;
        record.Referer = std::string(referer);
        record.Status = flsInitial;
        record.Attempts = 0;
        record.Origin = "None";
        if (m_docsView)
            record.ListItem = m_docsView->AddRow();
        const std::string line = record.ToLine();
        if (record.LooksLikeGallery()) {
            int i = GetInsertIndex() + 1;
            if (i < 0)
                i = 0;
            if (i < documents.Count()) {
                documents.Insert(i, line);
                SetInsertIndex(i);
            } else {
                documents.Add(line);
            }
        } else {
            documents.Add(line);
        }
        record.UpdateListItem();
    }
}

void TProject::NextDocument(TFileRecord& record)
{
    record.Link = NoMoreDocuments;
    TOptionsList& documents = QueueList(false);
    TFileRecord scratch;
    for (int i = documents.FindTagged(kWaiting); i >= 0; i = documents.FindTagged(kWaiting, i + 1)) {
        // a line that does not read is passed over
        if (scratch.FromText(documents.Get(i))) {
            record.Assign(scratch);
            return;
        }
    }
}

void TProject::NextPicture(TFileRecord& record)
{
    record.Link = NoMorePictures;
    TOptionsList& pictures = QueueList(true);
    TFileRecord scratch;
    // every initial picture is tried before any deferred one
    for (int i = pictures.FindTagged(tagInitial); i >= 0; i = pictures.FindTagged(tagInitial, i + 1)) {
        if (scratch.FromText(pictures.Get(i))) {
            record.Assign(scratch);
            SetInteger(m_options, "LastPicProcessed", i);
            return;
        }
    }
    for (int i = pictures.FindTagged(kWaiting); i >= 0; i = pictures.FindTagged(kWaiting, i + 1)) {
        if (scratch.FromText(pictures.Get(i))) {
            record.Assign(scratch);
            return;
        }
    }
}

void TProject::StoreRecord(TFileRecord& record)
{
    SetString(QueueList(record.IsPicture), record.FileID, record.ToText());
}

void TProject::StepPicture(const TFileRecord& current, TFileRecord& found, bool backward)
{
    found.Link = NoMorePictures;
    TOptionsList& pictures = QueueList(true);
    int i = pictures.IndexOfName(current.FileID);
    while (true) {
        i = backward ? pictures.FindTaggedBefore(tagSucceed, i - 1) : pictures.FindTagged(tagSucceed, i + 1);
        if (i < 0) {
            found.Link = NoMorePictures;
            return;
        }
        if (found.FromText(pictures.Get(i)) && found.Status == flsSucceed)
            return;
    }
}

void TProject::RandomPicture(TFileRecord& record)
{
    std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    record.Status = flsFailed;
    TOptionsList& pictures = QueueList(true);
    const int count = pictures.Count();
    if (count == 0)
        return;
    std::uniform_int_distribution<int> draw(0, count - 1);
    TFileRecord scratch;
    // a line that does not read whole is no picture to show
    for (int tries = 0; tries < 200 && record.Status != flsSucceed; ++tries)
        if (scratch.FromText(pictures.Get(draw(random))))
            record.Assign(scratch);
}
