#pragma once

#include <string>
#include <string_view>

// Splits text into lines the way every text file of the system is read: at CR LF,
// at a lone CR and at a lone LF; empty lines are kept, a last line without a
// terminator is kept, and the text ends at its first NUL byte. Fed in pieces, so
// that a large text never has to stand in memory whole.
class TLineSplitter final {
public:
    // Calls onLine(std::string_view) for every complete line of the piece.
    template <class OnLine>
    void Feed(std::string_view piece, OnLine&& onLine)
    {
        if (m_stopped)
            return;
        std::size_t i = 0;
        const std::size_t n = piece.size();
        if (m_pendingCR) {
            m_pendingCR = false;
            if (n > 0 && piece[0] == '\n')
                i = 1;
        }
        while (i < n) {
            std::size_t j = i;
            while (j < n) {
                const char c = piece[j];
                if (c == '\r' || c == '\n' || c == '\0')
                    break;
                ++j;
            }
            if (j == n) {
                m_partial.append(piece.substr(i));
                return;
            }
            const char c = piece[j];
            if (c == '\0') {
                // the text ends here; what stands before the NUL is a last line
                if (j > i || !m_partial.empty())
                    EmitWith(piece.substr(i, j - i), onLine);
                m_stopped = true;
                return;
            }
            EmitWith(piece.substr(i, j - i), onLine);
            i = j + 1;
            if (c == '\r') {
                if (i < n) {
                    if (piece[i] == '\n')
                        ++i;
                } else {
                    m_pendingCR = true;
                }
            }
        }
    }

    // The text has ended: a last line without a terminator is a line.
    template <class OnLine>
    void Finish(OnLine&& onLine)
    {
        if (!m_stopped && !m_partial.empty()) {
            onLine(std::string_view(m_partial));
            m_partial.clear();
        }
        m_stopped = true;
    }

    bool Stopped() const { return m_stopped; }

private:
    template <class OnLine>
    void EmitWith(std::string_view tail, OnLine& onLine)
    {
        if (m_partial.empty()) {
            onLine(tail);
        } else {
            m_partial.append(tail);
            onLine(std::string_view(m_partial));
            m_partial.clear();
        }
    }

    std::string m_partial;
    bool m_pendingCR = false;
    bool m_stopped = false;
};
