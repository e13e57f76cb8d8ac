// The archive viewer: loading the archive index at start-up, the four picture panes with their
// captions, and paging by picture ("<", ">") and by event ("<<", ">>").
#include "acquisition/archive.h"
#include "app/tform1.h"
#include "platform/cp1251.h"
#include "platform/picturepane.h"
#include "viewer/eventline.h"
#include "viewer/tform5.h"
#include "viewer/wholepicture.h"
#include "ui_tform1.h"

#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <array>

namespace {

constexpr int kPanes = 4;

struct Place {
    PicturePane* pane;
    QLabel* caption;
};

// The panes from older to newer: top left (the large one, drawn over the others), top right,
// bottom left, bottom right.
std::array<Place, kPanes> places(const Ui::TForm1& ui) {
    return {{{ui.Image1, ui.Label2}, {ui.Image2, ui.Label3}, {ui.Image3, ui.Label4}, {ui.Image4, ui.Label5}}};
}

// Puts a caption under its pane. A caption longer than its label (a damaged event line can
// name a "file" of hundreds of characters) is cut in the middle to the label's width: the
// start keeps the folder and the time of the name, the end what is wrong with it. The label
// keeps its place and size; its tool tip always holds the whole text.
void setCaption(QLabel* caption, const QString& text) {
    caption->setText(caption->fontMetrics().elidedText(text, Qt::ElideMiddle, caption->contentsRect().width()));
    caption->setToolTip(text);
}

// Shows a file in a place: its picture under its name, or, for a file that is missing or
// gives no picture, the mark under a caption that names the file and says what is wrong,
// e.g. "foto\140509_071226f17.jpg — нет файла". No error box: an operator who deleted old
// pictures to free the disk would get one for every pane of every page. Returns whether the
// picture is shown.
bool showIn(const Place& place, const QString& path, const QString& name) {
    const PicturePane::Fault fault = place.pane->showFile(path, name);
    if (fault == PicturePane::Fault::None) {
        setCaption(place.caption, name);
        return true;
    }
    setCaption(place.caption, (name.isEmpty() ? path : name) + QStringLiteral(" — ") + PicturePane::faultText(fault));
    return false;
}

// Shows an archived picture. The caption keeps the stored form of the name (with its
// backslash); the file is opened through the native path.
void showStored(const Place& place, const QByteArray& storedFile) {
    const QString name = plat::fromCp1251(storedFile);
    showIn(place, nativePath(storedFile), name);
}

// A pane that the shown event leaves empty: the placeholder picture, no name, no caption.
// Without vid.jpg the pane shows the mark under "vid.jpg — нет файла": an empty caption
// under a mark would leave the operator guessing which file is gone.
void showPlaceholder(const Place& place) { showIn(place, archive::placeholder, {}); }

}  // namespace

void TForm1::FormCreate() {
    // A picture larger than its place is shrunk to fit it, so that every picture shows whole
    // and none covers another or a caption. Image1 spans the grid, but its place is the grid's
    // top-left one: as high as the pane beside it, and up to a gap before it.
    constexpr int kGap = 8;
    const QRect topLeft(0, 0, ui->Image2->x() - ui->Image1->x() - kGap, ui->Image2->height());
    for (const Place& place : places(*ui))
        place.pane->setPlacing(PicturePane::Placing::Shrink, place.pane == ui->Image1 ? topLeft : QRect());
    // Both lists are loaded before any picture is shown, each on its own: a list or a picture
    // that cannot be read is reported but never keeps the other list from loading, because
    // closing the window writes both lists back. Both files are looked for where they are
    // read from, in the working folder, and the event list is read even without a picture
    // list, so that stored events are never replaced by the events of one run.
    const QString& files = archive::pictureList;
    const QString& events = archive::eventList;
    if (QFileInfo::exists(files)) {
        picturesUnread = true;
        handle([&] {
            ListBox1.load(files, wholePictureLine);
            picturesUnread = false;
            nfiles = fpos = ListBox1.count();
        });
    }
    if (QFileInfo::exists(events)) {
        eventsUnread = true;
        handle([&] {
            ListBox2.load(events, [](QByteArrayView line, int) { return wholeEventLine(line); });
            eventsUnread = false;
            epos = ListBox2.count() - 1;  // the newest event; -1 for an empty list
        });
    }
    // The journal of calls: where each event came from, and when the unit was last heard.
    calls.load();
    callers.update(ListBox2, calls);
    showLastHeard();
    // A data phase that a power cut or a crash kept from its filing is filed now, so that
    // the panes show its pictures too, and paging counts them as loaded.
    const int loaded = ListBox2.count();
    recoverPhase();
    if (ListBox2.count() != loaded) {
        fpos = nfiles;
        epos = ListBox2.count() - 1;
    }
    // The window opens on the four newest pictures.
    if (nfiles != 0) updimage(nfiles);
}

void TForm1::updimage(int n) {
    // The page ends with entry n - 1 and runs from older to newer; with fewer than four
    // entries it starts at entry 0 and the panes beyond the last entry keep what they show.
    const auto panes = places(*ui);
    const int first = std::max(n - kPanes, 0);
    const int count = std::clamp(n, 0, kPanes);
    QList<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        names.append(ListBox1.at(first + i));
        showStored(panes[i], names.back() + ".jpg");
    }
    if (count > 0) ui->Label1->setText(pageCaption());
    emit shown(names);
}

void TForm1::updimage1(int k) {
    if (k < 0 || k >= ListBox2.count()) return;
    const viewer::EventLine event = viewer::parseEventLine(ListBox2.at(k), kPanes);
    // A negative count is no event that can be shown; the panes stay as they are.
    if (event.count < 0) return;
    // The event's first pictures, then the placeholder in the panes it leaves empty. A name
    // that is missing from the line is empty and shows the mark as the file ".jpg".
    const auto panes = places(*ui);
    for (int i = 0; i < kPanes; ++i) {
        if (i < event.names.size()) showStored(panes[i], event.names[i] + ".jpg");
        else showPlaceholder(panes[i]);
    }
    emit shown(event.names);
}

QString TForm1::eventCaption(int k) const {
    QString caption = QStringLiteral("Событие %1").arg(k);
    if (k < 0 || k >= ListBox2.count()) return caption;
    // The call the event came from, when the journal names its first picture.
    const viewer::EventLine event = viewer::parseEventLine(ListBox2.at(k), 1);
    if (event.names.isEmpty()) return caption;
    const auto from = calls.callOf(event.names[0]);
    if (!from) return caption;
    return caption + QStringLiteral(" — ") + journal::timeText(from->start) + QStringLiteral(", ") +
           viewer::sourceText(*from, watch->book());
}

std::pair<int, int> TForm1::shownEvents() const {
    int oldest = -1, newest = -1;
    for (const Place& place : places(*ui)) {
        // The placeholder and the layout's own pictures have no name.
        QByteArray stored = plat::toCp1251(place.pane->name());
        if (!stored.endsWith(".jpg")) continue;
        stored.chop(4);
        const int k = viewer::eventOf(ListBox2, stored);
        if (k < 0) continue;
        oldest = oldest < 0 ? k : std::min(oldest, k);
        newest = std::max(newest, k);
    }
    return {oldest, newest};
}

QString TForm1::pageCaption() const {
    // The caption names what the panes show: one event as "<<" and ">>" name it, several by
    // their numbers, never one whose pictures are not on the screen.
    const auto [oldest, newest] = shownEvents();
    if (oldest < 0) return QStringLiteral(" ");
    if (oldest == newest) return eventCaption(oldest);
    return QStringLiteral("События %1–%2").arg(oldest).arg(newest);
}

void TForm1::Button5Click() {
    // "<": one picture back, but never to a page that starts before entry 0.
    if (fpos > kPanes) --fpos;
    updimage(fpos);
}

void TForm1::Button6Click() {
    // ">": one picture on, up to the page that ends with the newest entry. Paging only: the
    // last transfer is never filed again from here.
    if (fpos < ListBox1.count()) ++fpos;
    updimage(fpos);
}

void TForm1::Button7Click() {
    // "<<": the previous event, stopping at the oldest (0). The caption names the event before
    // its pictures load, so that it stays right when one of them cannot be shown.
    if (epos > 0) --epos;
    ui->Label1->setText(eventCaption(epos));
    updimage1(epos);
}

void TForm1::Button8Click() {
    // ">>": the next event, stopping at the newest.
    if (epos < ListBox2.count() - 1) ++epos;
    ui->Label1->setText(eventCaption(epos));
    updimage1(epos);
}

namespace {
// Where a picture is in the picture list: at its number, as filing names it, or, in a list
// put together otherwise, wherever it is; -1 when it is not there.
int placeOf(const archive::List& pictures, const QByteArray& name) {
    const int n = journal::pictureNumber(name);
    if (n >= 0 && n < pictures.count() && pictures.view(n) == name) return n;
    for (int i = pictures.count() - 1; i >= 0; --i)
        if (pictures.view(i) == name) return i;
    return -1;
}
}  // namespace

void TForm1::gotoevent(int k) {
    if (k < 0 || k >= ListBox2.count()) return;
    epos = k;
    ui->Label1->setText(eventCaption(k));
    updimage1(k);
    // The page that "<" and ">" go on from is the one that starts with the event's first
    // picture, as the panes show it now; near the end of the list, the newest page.
    const viewer::EventLine event = viewer::parseEventLine(ListBox2.at(k), 1);
    if (event.names.isEmpty()) return;
    if (const int i = placeOf(ListBox1, event.names[0]); i >= 0) fpos = std::min(i + kPanes, ListBox1.count());
}

bool TForm1::pagekey(int key) {
    switch (key) {
    case Qt::Key_Left: Button5Click(); return true;
    case Qt::Key_Right: Button6Click(); return true;
    case Qt::Key_PageUp: Button7Click(); return true;
    case Qt::Key_PageDown: Button8Click(); return true;
    case Qt::Key_Home: gotoevent(0); return true;
    case Qt::Key_End: gotoevent(ListBox2.count() - 1); return true;
    default: return false;
    }
}

void TForm1::ImageDblClick(const QPoint& at) {
    // Image1 spans the whole grid and is drawn over the other panes, but only as far as its
    // picture reaches: beyond that the pane below shows, and it is that pane's picture the
    // operator sees and means.
    for (const Place& place : places(*ui)) {
        const PicturePane& pane = *place.pane;
        if (!pane.drawnAt(pane.mapFrom(this, at))) continue;
        // The placeholder is no picture of the archive, and the mark shows none to open.
        if (pane.name().isEmpty() || pane.fault() != PicturePane::Fault::None) return;
        // Decoded again from its file, as the panes do: a picture that can no longer be read
        // turns into the mark, its caption says why, and no window opens.
        if (!showIn(place, pane.file(), pane.name())) return;
        (new WholePicture(pane.picture(), pane.name(), pane.file(), *this, this))
            ->show();  // a child of this window; deleted when closed
        return;
    }
}
