// A project file of any bytes loads or is refused; a refused file leaves the
// project as it was.
#include "project/project.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TProject project;
    const std::string before = project.Lists().SectionedText();
    const std::string optionsBefore = project.Options().Text();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!project.LoadFromStream(buffer)) {
        if (project.Lists().SectionedText() != before || project.Options().Text() != optionsBefore)
            std::abort();
    }
    QBuffer summary(&bytes);
    summary.open(QIODevice::ReadOnly);
    TProject other;
    other.LoadSummary(summary);
    return 0;
}
