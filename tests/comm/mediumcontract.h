#pragma once
// What every communication medium must do against a simulated ECU, written
// once. Each medium's test derives from this class and supplies the ECU and
// the medium; the slots below run for each of them.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <initializer_list>

class CommunicationMedium;

class MediumContract : public QObject
{
    Q_OBJECT
public:
    // Runs each suite in turn, as one test program; non-zero if any failed.
    static int runSuites(std::initializer_list<QObject *> suites, int argc, char **argv);

protected:
    // Empty when the medium can be tested here, else why not.
    virtual QString unavailableReason() = 0;
    virtual bool isEthernet() const = 0;
    // Brings up a fresh ECU (faults cleared) and a connected medium.
    virtual bool startEcu(QString *error) = 0;
    virtual void stopEcu() = 0;
    virtual CommunicationMedium *medium() = 0;
    // One control line to the simulated ECU (EcuSimulator::control), past the medium.
    virtual bool control(const QByteArray &line, QByteArray *answer = nullptr) = 0;
    // Makes the ECU vanish at once. Called from another thread while the
    // test thread is inside a transfer.
    virtual void killEcu() = 0;

private:
    bool pokeEcu(quint32 address, const QByteArray &bytes);
    QByteArray peekEcu(quint32 address, quint32 length);
    bool setFaults(const QString &plan) { return control("faults " + plan.toLatin1()); }

private slots:
    void init();
    void cleanup();

    void readsMatchEcuMemoryAroundChunkBoundaries_data();
    void readsMatchEcuMemoryAroundChunkBoundaries();
    void writesLandInEcuMemory_data();
    void writesLandInEcuMemory();
    void staticTableEntriesGiveAddressAndSize();
    void refusedRegionFailsTheRead();
    void faultyRepliesNeverGiveWrongBytes_data();
    void faultyRepliesNeverGiveWrongBytes();
    void blockWalkNeverGivesStaleBlocks_data();
    void blockWalkNeverGivesStaleBlocks();
    void longReadReportsRemainingTime();
    void ecuKilledMidTransferGivesFailureNotHang();
};
