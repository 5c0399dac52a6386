#include "parameters/parametrmultienum.h"

#include <QObject>

// QMutex waits and wakes inside the uninstrumented Qt library when contended, so the thread
// sanitizer cannot see the hand-over; tell it explicitly.
#if defined(__SANITIZE_THREAD__)
#define SOLMIR_TSAN_ANNOTATE 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SOLMIR_TSAN_ANNOTATE 1
#endif
#endif
#ifdef SOLMIR_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#endif

namespace {

constexpr int MaxShownEntries = 11;

class Locker
{
public:
    explicit Locker(const ParametrMultiEnum* p) : parametr(p) { parametr->lock(); }
    ~Locker() { parametr->unlock(); }
    Locker(const Locker&) = delete;
    Locker& operator=(const Locker&) = delete;

private:
    const ParametrMultiEnum* parametr;
};

} // namespace

ParametrMultiEnum::ParametrMultiEnum(const QString* caption, EnumItemList* items, quint8 flags)
    : HAbstractParametr(caption, flags), list(items)
{
    kind = TypeMultiEnum;
}

void ParametrMultiEnum::lock() const
{
    mutex.lock();
#ifdef SOLMIR_TSAN_ANNOTATE
    __tsan_acquire(&mutex);
#endif
}

void ParametrMultiEnum::unlock() const
{
#ifdef SOLMIR_TSAN_ANNOTATE
    __tsan_release(&mutex);
#endif
    mutex.unlock();
}

QString ParametrMultiEnum::valueText() const
{
    Locker locker(this);
    if (selected.isEmpty())
        return QObject::tr("Нажмите для выбора");
    QString text;
    const int count = selected.size();
    const int shown = qMin(count, MaxShownEntries);
    for (int i = 0; i < shown; ++i) {
        text += QLatin1Char('[') + itemText(selected.at(i)) + QLatin1Char(']');
        if (i != count - 1)
            text += QStringLiteral(" ,");
    }
    return text;
}

bool ParametrMultiEnum::isSelected(qint32 v) const
{
    Locker locker(this);
    return selected.contains(v);
}

void ParametrMultiEnum::clearSelection()
{
    Locker locker(this);
    selected.clear();
}

void ParametrMultiEnum::selectAll()
{
    Locker locker(this);
    if (!list)
        return;
    for (const EnumItem* item : qAsConst(*list)) {
        if (item)
            selected.append(item->value);
    }
}

QString ParametrMultiEnum::itemText(qint32 v) const
{
    if (!list)
        return QString();
    for (const EnumItem* item : qAsConst(*list)) {
        if (item && item->value == v)
            return names ? item->text : QString::number(static_cast<qint64>(v) + 1);
    }
    return QString();
}
