#pragma once

#include <QHash>
#include <QString>
#include <memory>

// The humorous comments shown with a lung test result, keyed "BlewLvl_<band>_<index>".
// The table is held only while the lung test screen is on screen; outside that
// window every lookup yields a null string.
class BlewResultString {
public:
    using Book = QHash<QString, QString>;

    // A comment drawn for a capacity: its band (0..3) and its index in the band.
    struct Pick {
        qint32 band = 0;
        qint32 index = 0;
        // "band_index", what the lung test screen remembers and shares.
        QString shortKey() const;
        // "BlewLvl_band_index", the key of the table.
        QString key() const;
    };

    static BlewResultString& sharedInstance();

    // Creates the table if there is none and (re)stores every entry.
    void loadBook();
    // Null when the table is not loaded or has no such key.
    QString getResultString(const QString& key) const;
    // Empties the table, then drops it.
    void releaseBook();

    std::shared_ptr<Book> resultBook() const { return m_resultBook; }
    void setResultBook(std::shared_ptr<Book> resultBook) { m_resultBook = std::move(resultBook); }

    // Band of a capacity in millilitres: up to 1499, 1500..2999, 3000..4499,
    // 4500 and above.
    static qint32 bandFor(qint32 capacity);
    static qint32 countFor(qint32 band);
    // Index inside the band from one uniform 32-bit draw. Band 0 has 16
    // comments and takes the low four bits; the others take the remainder.
    static qint32 indexFor(qint32 band, quint32 r);
    static Pick pick(qint32 capacity, quint32 r);
    // Draws r once from the shared random source.
    static Pick pick(qint32 capacity);
    // Full key rebuilt from a short key "band_index".
    static QString keyForShortKey(const QString& shortKey);

private:
    std::shared_ptr<Book> m_resultBook;
};
