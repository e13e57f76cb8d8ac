#pragma once
// The main window. It owns the whole link (port, flags, reply buffer), the reception buffer,
// the archive index and the viewer positions; its operations are spread over the folders of
// their subsystems (link/, acquisition/, viewer/, config/), each defining its own methods.
#include "acquisition/archivelist.h"
#include "acquisition/callers.h"
#include "acquisition/journal.h"
#include "link/lines.h"
#include "platform/platform.h"
#include "platform/toolkit.h"
#include "watch/watch.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1String>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Ui {
class TForm1;
}
class TForm2;
class TForm4;
class TForm5;
class TAboutBox;
class QLabel;

class TForm1 : public QWidget, public watch::Operations {
    Q_OBJECT
public:
    // The program's name: the main window's title and the caption of its message boxes.
    static constexpr QLatin1String kName{"Ravlo"};
    static constexpr int kOtvetSize = 1000;
    static constexpr int kFotobufSize = 100000;

    explicit TForm1(plat::Platform& sys, QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows created after this one (start-up order TForm1, TForm2, TForm4, TAboutBox,
    // TForm3, TForm5).
    void attach(TForm2* settings, TForm4* portDialog, TAboutBox* about, TForm5* archive);

    // Runs one handler through the toolkit-error wrapper.
    template <class F> void handle(F&& f) { plat::guarded(sys.ui, std::forward<F>(f)); }

    // What an exchange holds while it runs: busy, and the poll stopped (tmrstop). Both go back
    // to what they were when it ends, however it ends.
    class Exchange {
    public:
        explicit Exchange(TForm1& f) : f_(f), busy_(std::exchange(f.busy, 1)), tmrstop_(std::exchange(f.tmrstop, 1)) {}
        ~Exchange() {
            f_.tmrstop = tmrstop_;
            f_.busy = busy_;
        }
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;

    private:
        TForm1& f_;
        int busy_;
        int tmrstop_;
    };

    // ---- application shell (app/) ----
    void rereg();
    void wrreg();
    void FormClose();
    // Makes files.txt and events.txt equal to the picture list and the event list, the
    // picture list first: each file gets the lines it lacks appended, and nothing is written
    // to a file that equals its list. A list whose file exists but could not be read at start
    // is not written: the unread file must not be replaced by this run's entries alone.
    void saveLists();
    void ToolButton2Click();
    void ToolButton10Click();
    // "Архив" (ToolButton11, Ctrl+F): the window for finding pictures by their date.
    void ToolButton11Click();
    // "Объекты" (ToolButton12, Ctrl+O): the board of the units.
    void ToolButton12Click();
    // A panel text is also read in the tray icon's tool tip, where there is one.
    void setPanel(int index, const QString& text);
    QString panel(int index) const;

    // ---- modem link (link/) ----
    // Opens the port named by portname with the fixed line settings. `tell`: a port that
    // cannot be opened is reported in the box "Порт занят"; the station's own attempts to open
    // a vanished port again say nothing (panel 1 tells the operator).
    bool setdcb(bool tell = true);
    // Purges the port, then writes.
    bool wrport(const char* data, int length);
    bool wrport(QByteArrayView data) { return wrport(data.data(), int(data.size())); }
    // Writes the bytes as they stand, without a purge. Every write to the line passes here.
    bool sendport(const char* data, int length);
    bool sendport(QByteArrayView data) { return sendport(data.data(), int(data.size())); }
    // Purges the port, sends the command and waits up to tmout tenths of a second for a reply
    // line vvodResult knows, each line taken into reply; returns it, or VV_FAIL with linkerr
    // saying why.
    unsigned vvod(const char* cmd, char* reply, int length, int tmout);
    unsigned vvod(QByteArrayView cmd, int tmout) { return vvod(cmd.data(), otvet.data(), int(cmd.size()), tmout); }
    // The skeleton of every wait on the line: vvod's and the two phases of the reception. Each
    // pass checks the time-out, `base` tenths of a second from `start` on the wait's tick
    // counter (linkerr 1), shows the share used, reads one byte, which `read` sees at once,
    // pumps the messages and checks for a cancel or a vanished port (interrupted); then `pass`
    // sees the byte of the pass, if one came, and true from it ends the wait. `start` is read
    // at every pass, so that `pass` may move it on. Returns why the wait ended, in words for
    // the trace, or nullptr when `pass` ended it.
    using WaitPass = std::function<bool(std::optional<unsigned char>)>;
    using WaitRead = std::function<void(unsigned char)>;
    const char* await(const std::uint32_t& start, std::uint32_t base, const WaitPass& pass, const WaitRead& read = {});
    // What a byte of the modem's lines did: it went into the line, or ended the line, which has
    // then been heard; or it was a NUL byte, which no modem line holds: the line is lost
    // (linkerr 2), and the wait ends.
    enum class LineByte { Added, Ended, Nul };
    LineByte linebyte(LineHead& line, unsigned char b);
    // After a dial the operator cancelled: tells the modem to give up the call it is still
    // setting up, so that it does not connect after all.
    void abortdial();
    // The waits of the give-up: its answer, and the end of a call that connected all the same.
    static constexpr int kGiveUpTenths = 20;
    static constexpr int kStrayCallTenths = 800;
    // One read of the rule: one byte into b, or none; a vanished port is let go.
    plat::ReadResult readport(unsigned char& b);
    void purge();
    // Handles the pending messages; a handler run from here may open a modal window.
    void pump();
    // What every wait checks after each pass: a cancel request (Отмена, Выход or the window
    // closing) is taken, linkerr 3; a vanished port, linkerr 2. Returns why the wait ends, in
    // words for the trace, or nullptr when it goes on.
    const char* interrupted();
    // The share of a wait's time-out used, on Pbar1 while it is shown: elapsed ms against a
    // time-out of `base` tenths of a second.
    void showprogress(std::uint32_t elapsed, std::uint32_t base);
    // Opens the port for an exchange when it is not open; false when it cannot be (setdcb has
    // said why, in a box when `tell`).
    bool openport(bool tell = true);
    // How setting up the link to the unit ended: linked; given up after the last attempt; a
    // cancel that ends it at once ("Снимок"); stopped before the next attempt by a cancel (the
    // transfer) or the window closing.
    enum class LinkEnd { Linked, Failed, Cancelled, Stopped };
    // Who dials, for the one way the two dialling exchanges differ: "Снимок" says
    // "Набор номера" at each attempt and a cancel ends it at once; the settings transfer
    // numbers the attempts after the first ("Попытка2"...) and a cancel ends it before the
    // next one, its number shown.
    enum class DialFor { Picture, Settings };
    // Dials the unit's number: up to six dial commands of 60 s, one straight after the other,
    // until one connects. A dial the operator cancelled is given up at the modem (abortdial).
    LinkEnd dialunit(DialFor who, const QByteArray& number);
    // The cable link: up to ten "BC\r" handshakes of 6 s, until one is answered "OK"; the
    // attempts after the first are numbered in panel 2. A cancel ends it before the next one.
    LinkEnd cablelink();
    // The tick counter as the waits count it: it stands still while a pump is held by a
    // nested modal window, so a box the operator reads never uses up a wait's time-out.
    std::uint32_t waitTick() const { return sys.clock.tick() - held; }

    // ---- photo acquisition (acquisition/) ----
    void Button3Click();
    void Button4Click();
    // "Снимок" for a number: dials it and asks its unit for a picture. "Снимок" dials telobj;
    // the board of the units dials the unit chosen there. Returns why nothing was dialled
    // (panel 2 says it too), empty when the exchange ran.
    QString snapshot(const QByteArray& number) override;
    // The supervision's check of a late unit: "Снимок" for its number, the journal line saying
    // "проверка".
    QString check(const QByteArray& number) override;
    bool portFree() override;
    watch::Modem modem() override;
    // "Архив" with a unit's filter, on the day of event k, for the board of the units.
    void openArchive(const watch::Filter& filter, int event) override;
    void BtOtmenaClick();
    void Button2Click();
    // Whether the program may end: true unless the station listens and the operator says "Нет".
    bool mayQuit();
    void Timer1Timer();
    void CheckBox1Click();
    void readbuf();
    int convjpg();
    // Prepares the modem as Инициализ. does, with its status texts; true when it answered.
    // `byOperator`: the operator pressed the button (a port that cannot be opened gets its
    // box, and the station is remembered as listening); otherwise the station keeps its own
    // modem prepared. The caller has checked that nothing else uses the port.
    bool prepare(bool byOperator);
    // The poll's first duty while the station listens, run when nothing else uses the port: a
    // port that vanished is tried again every few seconds, and a modem that restarted is
    // prepared again. True when it took this tick (the poll then reads nothing).
    bool keepprepared();
    // After a preparation that failed while the station listens: the next try is due after the
    // next pause of kRetryPauses, and panel 1's tool tip says when.
    void scheduleRetry();
    // The station stops listening (panel 1's menu): the poll stops, no command goes to the
    // modem any more, and a later start does not listen by itself. Инициализ. listens again.
    void stoplistening();
    // Every line the modem sends passes here: one that announces a restart of the modem means
    // that it must be prepared again.
    void heard(const LineHead& line);
    // Draws the operator's eye to pictures a reception stored while he works in another
    // window: the window asks for attention, and the tray icon says how many came.
    void announce(int stored);
    // The journal of calls: a call is entered when it begins, its outcome and pictures are
    // filled in as it goes, and its line is written when it ends. A call already under way
    // (Снимок's, whose reception follows) is kept.
    void begincall(journal::Direction direction, const QByteArray& number, const QString& what);
    void endcall();
    // Beside the unit's phone number: when the unit was last heard, the start of the newest
    // call that brought pictures.
    void showLastHeard();

    // ---- archive viewer (viewer/) ----
    void FormCreate();
    void updimage(int n);
    void updimage1(int k);
    // Label1's text for event k: its number, and the time and the caller of its call when
    // the journal knows them.
    QString eventCaption(int k) const;
    // The oldest and the newest event whose pictures the panes show, -1 for none.
    std::pair<int, int> shownEvents() const;
    // Label1's text for a page of pictures: the event or events they belong to.
    QString pageCaption() const;
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    // Shows event k as "<<" and ">>" show it, and moves both positions to it: "<<" and ">>" go
    // on from event k, "<" and ">" from the page that starts with its first picture.
    void gotoevent(int k);
    // The paging keys: Left and Right page as "<" and ">", Page Up and Page Down as "<<" and
    // ">>", Home and End go to the oldest and the newest event. False for any other key.
    bool pagekey(int key);
    // A double click at a point of the window (its own coordinates) on the picture panes:
    // the picture drawn there opens whole in a window of its own.
    void ImageDblClick(const QPoint& at);

    // ---- settings transfer (config/) ----
    void Button1Click();
    // Label7 shows the unit's number, telobj.
    void showtelobj();

    // ---- members ----
    plat::Platform& sys;
    std::unique_ptr<Ui::TForm1> ui;
    QTimer Timer1;

    // link
    QString portname;
    std::unique_ptr<plat::SerialLine> hcom;
    QString portwhy;  // why the port did not open at the last attempt, for panel 1's tool tip
    // 1 while the port is open: set by the exchange that opened it (openport, prepare), cleared
    // with hcom when the port vanishes (readport); an exchange opens the port when it is 0.
    int portopen = 0;
    unsigned char inbyte = 0;  // the byte the poll read
    std::array<char, kOtvetSize> otvet{};
    // The line a cancel cut off in the last vvod, as far as it had come: a connect may end in
    // the very pass the cancel is taken in.
    QByteArray cutoff;
    std::uint32_t held = 0;  // ms that pumps spent held by nested modal windows
    int linkerr = 0;         // why the last wait failed (LinkError), 0 after one that did not
    // A cancel request: set by Отмена and Выход; taken (cleared) by the wait that sees it
    // (interrupted), and cleared when an exchange begins, for a press while nothing waited is
    // not for that exchange.
    int otmena = 0;
    // An exchange owns the port (Инициализ., Снимок, a reception, the settings transfer): set
    // by its handler and released by a scope guard however it ends. Every handler that would
    // use the port returns at once while it is set.
    int busy = 0;
    // The poll must not read: set by the poll while it reads and by every exchange while it
    // runs, released by their scope guards. The poll (Timer1Timer) does nothing while it is set.
    int tmrstop = 0;
    // Panel 2 holds something the poll leaves standing: set by the poll once it has shown
    // "Ready", by "Снимок", and by a reception that ended with something to read; cleared by a
    // preparation and by the other receptions, so that the poll's next tick shows "Ready".
    int readyshown = 0;
    // A reception that ended with something the operator should still read in panel 2 (a
    // call that was not the unit's): the poll puts no "Ready" over it.
    bool keepstatus = false;
    // "Снимок" connected the call whose reception follows: set by its dialling, read by
    // readbuf (the call is up, so there is no answer phase), cleared when "Снимок" ends.
    int dialed = 0;
    // The station listens: Инициализ. succeeded once in this run, or the station listened when
    // it last ran. The poll then keeps the modem prepared. Cleared only by the operator
    // (stoplistening).
    int listening = 0;
    // The modem has forgotten its preparation: it announced a restart, or a call rang without
    // a caller line. Set by heard and the answer phase; cleared when a preparation that reached
    // the modem ends, so that announcement lines arriving meanwhile cause no second one.
    bool prepareDue = false;
    bool reopenTried = false;    // the poll has tried to open the vanished port since it went
    std::uint32_t reopenAt = 0;  // the tick of that attempt
    static constexpr std::uint32_t kReopenMs = 3000;
    // A modem that did not answer its preparation while the station listens (its firmware not
    // up yet after a replug, a restart, the PC booting) is tried again by the poll: soon at
    // first, then less often, then every minute. `retries` counts the failed tries in a row;
    // the next one is due `retryPause` after `retryAt`. Cleared when a preparation succeeds.
    static constexpr std::array<std::chrono::milliseconds, 5> kRetryPauses{
        std::chrono::seconds(2), std::chrono::seconds(5), std::chrono::seconds(10), std::chrono::seconds(30),
        std::chrono::seconds(60)};
    int retries = 0;
    std::uint32_t retryAt = 0;
    std::chrono::milliseconds retryPause{0};
    QString retryText;     // when the next try comes, for panel 1's tool tip
    bool closing = false;  // the window is closing: every waiting loop ends at once

    // unit settings copies (filled by TForm2)
    QByteArray telobj;
    std::array<QByteArray, 4> tel;
    QByteArray levs;

    // pictures and archive
    std::vector<unsigned char> fotobuf = std::vector<unsigned char>(kFotobufSize);
    int nfoto = 0;
    int nfiles = 0;
    QByteArray fotoname;
    QByteArray fotofile;
    archive::List ListBox1;  // the picture list
    archive::List ListBox2;  // the event list
    int fpos = 0;
    int epos = 0;
    // A picture a filing could not store (a full disk, a read-only folder), kept until the
    // next filing stores it, with the pictures of the same call, as the event of their own
    // transfer: the next data phase overwrites temp.dat, so it would be lost otherwise. The
    // call whose data phase received it is credited with it in the journal once it is stored;
    // a filing outside a call (a start after a crash) gives it none.
    struct Held {
        QByteArray picture;
        std::optional<journal::Call> from;  // as it stood at the filing
    };
    // The held pictures, oldest first; at most kUnfiledLimit bytes.
    QList<Held> unfiled;
    static constexpr qsizetype kUnfiledLimit = 10 * kFotobufSize;
    bool phaseMarked = false;     // the data phase being received or filed is marked on disk
    bool picturesUnread = false;  // files.txt exists but could not be loaded at start
    bool eventsUnread = false;    // the same for events.txt

    // the journal of calls, and the call under way
    journal::Journal calls;
    std::optional<journal::Call> call;
    // Who each event came from, by the journal: brought up to date at the start, at every
    // filing and at every line of the journal, before the windows hear of them.
    archive::Callers callers;

    // The watch station: the book of units, the board "Объекты". It learns from the signals
    // below and acts through the operations of watch::Operations.
    std::unique_ptr<watch::Watch> watch;

    // the other windows
    TForm2* form2 = nullptr;
    TForm4* form4 = nullptr;
    TAboutBox* aboutBox = nullptr;
    TForm5* form5 = nullptr;
    QString exportFolder;  // where pictures were last saved to, in this run
    bool tray = false;     // the tray icon is shown

signals:
    // A filing added an event to the event list.
    void filed();
    // A call ended, and this is its line in the journal.
    void callEnded(const journal::Call& line);
    // Pictures were shown in the panes or in "Архив", by their list names.
    void shown(const QList<QByteArray>& names);

protected:
    // The window's keys, wherever its focus is (a focused button would take the arrows to
    // move the focus on): Ctrl+F opens "Архив", and the paging keys page.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // "Снимок" for a number, the journal line's "Что" being `what`; `tell`: a port that does
    // not open gets its box.
    QString askpicture(const QByteArray& number, const QString& what, bool tell);
    // vvod after its command: waits up to tmout tenths of a second for a reply line vvodResult
    // knows, going on with the line as it stands.
    unsigned expect(LineHead& line, int tmout);
    // The two phases of readbuf. The answer phase takes the unit's call up to its connect
    // line, the poll's byte being the first byte of its first line; false when it failed
    // (panel 0 then shows linkerr). The data phase receives the picture stream into fotobuf
    // and temp.dat until "NO CARRIER", a cancel or its time-out, then files it.
    bool answerphase();
    void dataphase();
    // Cuts the pictures out of data, stores each in foto and records them as one event;
    // returns how many were stored. Held pictures go first, an event for each call's. `from`:
    // the call whose data phase is filed, none outside a call.
    int filebuf(const unsigned char* data, std::size_t length, const std::optional<journal::Call>& from);
    // temp.dat, up to the size of fotobuf; nothing when it cannot be read.
    std::optional<QByteArray> readphase() const;
    // Every complete picture in data, in stream order.
    QList<QByteArray> cutpictures(const unsigned char* data, std::size_t length) const;
    // Stores the pictures as the event of one transfer; those that cannot be stored (a full
    // disk) are kept in `unfiled`. `own`: the event of the data phase being filed, as opposed
    // to pictures held from an earlier one, which get a journal line of their own naming
    // `from`. `from`: the call that received the pictures, if any. `names`: pictures of the
    // event that are in the picture list already (a filing a crash cut short). `written`: for
    // each picture, the base name of a file in foto that holds it already, or an empty one.
    // Returns how many were stored.
    int fileevent(const QList<QByteArray>& pictures, bool own, const std::optional<journal::Call>& from,
                  QList<QByteArray> names = {}, const QList<QByteArray>& written = {});
    void keepUnfiled(const Held& held);
    // Appends a call's line to the journal; one that names pictures may change "Был на связи".
    void record(const journal::Call& line);
    // Writes one picture to fotofile; false when the file cannot be created or written.
    bool savefoto(const unsigned char* data, std::size_t length);
    // saveLists for filing: a failure is caught and shown, and false returned.
    bool trySaveLists();
    // A data phase is marked on disk from its first byte until its pictures are in the saved
    // lists, so that a start after a power cut or a crash files what temp.dat holds of it.
    // The mark holds the lists' sizes before the phase's own event.
    void markPhase();
    void unmarkPhase();
    // At start, once the lists are loaded: files a marked phase that did not reach its filing.
    void recoverPhase();
};
