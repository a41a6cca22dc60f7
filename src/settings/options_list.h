#pragma once

#include "settings/line_store.h"

#include <QString>

#include <string>
#include <string_view>

class QIODevice;
class TMultiOptions;

// An ordered list of name=value lines: the settings file, a project's options,
// a project's record lists.
class TOptionsList : public TLineStore {
public:
    TOptionsList();
    ~TOptionsList() override;

    // Position inside the owning collection, recorded by TMultiOptions::ListAt.
    int ListIndex() const { return m_listIndex; }
    void SetListIndex(int index) { m_listIndex = index; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }
    TMultiOptions* Owner() const { return m_owner; }
    void SetOwner(TMultiOptions* owner) { m_owner = owner; }

    // Text form: every line followed by CR LF. Loading replaces all lines and
    // reads the stream from its position to its end; false when it cannot be read.
    bool LoadFromStream(QIODevice& stream);
    bool SaveToStream(QIODevice& stream) const;
    bool LoadFromFile(const QString& path);
    // Writes beside the file and renames over it only when complete.
    bool SaveToFile(const QString& path) const;
    std::string Text() const;
    void SetText(std::string_view text);

    // Copies all lines of another list; from another options list also its index and name.
    void Assign(const TLineStore& source);

private:
    int m_listIndex = 0;
    std::string m_name;
    TMultiOptions* m_owner = nullptr;
};

// Typed access to name=value lines; works on any list of lines.
std::string GetString(const TLineStore& list, std::string_view name);
void SetString(TLineStore& list, std::string_view name, std::string_view value);
// -1 when the name is missing, and also when its text is not a 32-bit decimal number.
int GetInteger(const TLineStore& list, std::string_view name);
// The decimal value of the name's text; false when missing or not a number.
bool TryGetInteger(const TLineStore& list, std::string_view name, int* value);
void SetInteger(TLineStore& list, std::string_view name, int value);
bool GetBoolean(const TLineStore& list, std::string_view name);
void SetBoolean(TLineStore& list, std::string_view name, bool value);
std::string GetValueAt(const TLineStore& list, int index);

// Escaping that lets any value, control characters and NUL included, stand on one line.
std::string EncodeValue(std::string_view value);
std::string DecodeValue(std::string_view text);

// Strict decimal conversion: optional sign, digits, within 32 bits.
bool ParseDecimal(std::string_view text, int* value);

// Provisional name of a new stand-alone list, "%d6-%d2" from a random number and a counter.
std::string ProvisionalListName();
