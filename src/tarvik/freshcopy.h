#pragma once

#include <QHash>
#include <QMap>
#include <QMultiHash>
#include <QSharedPointer>

// Fresh, unlinked copies of records, built from their JSON objects (which stay implicitly
// shared). The managers link copies, never the records they keep, so that a published
// snapshot is never written to again.
namespace tarvik {

template <typename T>
QSharedPointer<T> freshCopy(const QSharedPointer<T> &record)
{
    return QSharedPointer<T>::create(record->toJson());
}

// `origins`, when given, maps each copy to the record it was made from.
template <typename T>
QMap<int, QSharedPointer<T>> freshCopies(const QMap<int, QSharedPointer<T>> &records,
                                         QHash<const T *, QSharedPointer<T>> *origins = nullptr)
{
    QMap<int, QSharedPointer<T>> copies;
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QSharedPointer<T> copy = freshCopy(it.value());
        copies.insert(copies.cend(), it.key(), copy);
        if (origins)
            origins->insert(copy.data(), it.value());
    }
    return copies;
}

template <typename T>
QMultiHash<int, QSharedPointer<T>> freshCopies(const QMultiHash<int, QSharedPointer<T>> &records,
                                               QHash<const T *, QSharedPointer<T>> *origins = nullptr)
{
    QMultiHash<int, QSharedPointer<T>> copies;
    copies.reserve(records.size());
    QList<QSharedPointer<T>> run;
    for (auto it = records.cbegin(); it != records.cend();) {
        // The rows of one key come together; insert() puts a row before those already under
        // its key, so they go in backwards to keep their order.
        const int key = it.key();
        run.clear();
        for (; it != records.cend() && it.key() == key; ++it)
            run.append(it.value());
        for (auto row = run.crbegin(); row != run.crend(); ++row) {
            const QSharedPointer<T> copy = freshCopy(*row);
            copies.insert(key, copy);
            if (origins)
                origins->insert(copy.data(), *row);
        }
    }
    return copies;
}

} // namespace tarvik
