#pragma once

#include "audio/audiopreview.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <mutex>
#include <utility>

namespace tollvik::test {

// Records what the preview worker hands to the window: labels as "index=text". Boxes are closed at
// once unless told otherwise.
class FakeUi : public PreviewUi
{
public:
    void setLabel3(int index, const QString& text) override
    {
        std::lock_guard lock(m_mutex);
        m_labels.append(QStringLiteral("%1=%2").arg(index).arg(text));
    }
    void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) override
    {
        std::lock_guard lock(m_mutex);
        m_boxes.append(box);
        if (m_closeBoxes)
            boxClosed();
        else
            m_pending = std::move(boxClosed);
    }

    QStringList labels()
    {
        std::lock_guard lock(m_mutex);
        return m_labels;
    }
    QList<AudioMessage> boxes()
    {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }
    void keepBoxesOpen()
    {
        std::lock_guard lock(m_mutex);
        m_closeBoxes = false;
    }
    std::function<void()> takePending()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_pending, {});
    }

private:
    std::mutex m_mutex;
    QStringList m_labels;
    QList<AudioMessage> m_boxes;
    bool m_closeBoxes = true;
    std::function<void()> m_pending;
};

} // namespace tollvik::test
