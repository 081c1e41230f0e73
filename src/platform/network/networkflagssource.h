#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <optional>

// Where reachability flags come from: the desktop's own view of its
// connectivity (the network information backend and the interfaces),
// mapped onto the phone platform's flag bits. Tests install a source of
// their own that hands out chosen flag words.
class NetworkFlagsSource : public QObject {
    Q_OBJECT
public:
    // The phone platform's reachability flag bits.
    static constexpr quint32 kReachable = 1u << 1;
    static constexpr quint32 kConnectionRequired = 1u << 2;
    static constexpr quint32 kConnectionOnTraffic = 1u << 3;
    static constexpr quint32 kInterventionRequired = 1u << 4;
    static constexpr quint32 kConnectionOnDemand = 1u << 5;
    static constexpr quint32 kIsLocalAddress = 1u << 16;
    static constexpr quint32 kIsDirect = 1u << 17;
    static constexpr quint32 kIsWWAN = 1u << 18;

    // What a reachability object watches: a host name, or an address (the
    // any-address 0.0.0.0 standing for the internet at large).
    struct Target {
        QString hostName;
        QHostAddress address;
    };

    // The machine's connectivity at one moment.
    struct Snapshot {
        // Whether the backend sees the internet; empty without a backend
        // or when it does not know.
        std::optional<bool> online;
        bool cellular = false;
        // Address and prefix length of every usable interface (up,
        // running, not loopback).
        QList<QPair<QHostAddress, int>> localNetworks;
    };

    explicit NetworkFlagsSource(QObject* parent = nullptr);

    // False when the flags cannot be read.
    virtual bool flagsForTarget(const Target& target, quint32* flags);

    // Loads the default network information backend on first use.
    static NetworkFlagsSource& shared();
    // Not owned; pass nullptr to go back to the desktop's source.
    static void setShared(NetworkFlagsSource* source);

    static Snapshot currentSnapshot();
    static quint32 flagsFor(const Target& target, const Snapshot& snapshot);

signals:
    // Connectivity may have changed; receivers read the flags again.
    void changed();
};
