#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace orvelo {

// The "lastPlaylistBookmarks" setting: a compact JSON object from each track's UUID text to
// the Base64 text of its file bookmark. A track without a bookmark has no entry.
class BookmarkTable {
public:
    // A later entry for the same id replaces the earlier one.
    void insert(const QString& idText, const QByteArray& bookmark) { entries_.insert(idText, bookmark); }
    std::optional<QByteArray> find(const QString& idText) const;
    qsizetype size() const { return entries_.size(); }

    QByteArray encode() const;
    // Anything but an object of Base64 strings fails as a whole.
    static std::optional<BookmarkTable> decode(const QByteArray& json);

    friend bool operator==(const BookmarkTable&, const BookmarkTable&) = default;

private:
    QHash<QString, QByteArray> entries_;
};

} // namespace orvelo
