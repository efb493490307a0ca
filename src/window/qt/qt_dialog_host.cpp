#include "window/qt/qt_dialog_host.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSslCertificate>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <mutex>
#include <optional>

#include "platform/command_line.h"
#include "platform/resources.h"
#include "window/control_ids.h"

namespace {

// Whether chain, as the server sent it, leads to an authority of ORL_CA_BUNDLE and names host.
bool TrustedByExtraAuthorities(const QList<QSslCertificate>& chain, const QString& host) {
    const char* bundle = std::getenv("ORL_CA_BUNDLE");
    if (bundle == nullptr || *bundle == '\0' || chain.isEmpty()) return false;
    auto toX509 = [](const QSslCertificate& certificate) {
        QByteArray der = certificate.toDer();
        const unsigned char* p = reinterpret_cast<const unsigned char*>(der.constData());
        return d2i_X509(nullptr, &p, der.size());
    };
    X509_STORE* store = X509_STORE_new();
    for (const QSslCertificate& authority : QSslCertificate::fromPath(QString::fromLocal8Bit(bundle))) {
        if (X509* x = toX509(authority)) {
            X509_STORE_add_cert(store, x);
            X509_free(x);
        }
    }
    X509* leaf = toX509(chain.front());
    STACK_OF(X509)* intermediates = sk_X509_new_null();
    for (qsizetype i = 1; i < chain.size(); ++i) {
        if (X509* x = toX509(chain[i])) sk_X509_push(intermediates, x);
    }
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    bool trusted = false;
    if (leaf != nullptr && X509_STORE_CTX_init(context, store, leaf, intermediates) == 1) {
        QByteArray name = host.toUtf8();
        X509_VERIFY_PARAM_set1_host(X509_STORE_CTX_get0_param(context), name.constData(),
                                    static_cast<size_t>(name.size()));
        trusted = X509_verify_cert(context) == 1;
    }
    X509_STORE_CTX_free(context);
    sk_X509_pop_free(intermediates, X509_free);
    X509_free(leaf);
    X509_STORE_free(store);
    return trusted;
}

// A drop-down list box of the template is as tall as its open list; what stays on the window is the
// field, as tall as the skin's slot for it, and the list rows are as tall as the Windows list draws
// them for the window's font.
constexpr int kComboFieldHeight = 21;
constexpr int kComboRowHeight = 16;

// The template font of the launcher window; the installing box keeps the toolkit's dialog font.
constexpr int kWindowFontPoints = 9;

constexpr qint64 kDrainSliceMs = 10;

// Image controls that notify their clicks (the banner dots and the click area over the banner); every
// other picture lets the pointer through to the window, which hit-tests its painted buttons itself.
constexpr int kClickableImages[] = {IDC_DOT0, IDC_DOT1, IDC_DOT2, IDC_DOT3, IDC_DOT4, IDC_BANNER_LINK};

bool IsClickableImage(int id) {
    for (int clickable : kClickableImages) {
        if (clickable == id) return true;
    }
    return false;
}

QColor FromRgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToQRect(const Rect& rect) { return QRect(rect.x, rect.y, rect.width, rect.height); }

unsigned KeyFlags(const QMouseEvent* event) { return (event->buttons() & Qt::LeftButton) ? MK_LBUTTON : 0; }

class QtImageControl : public QWidget {
public:
    QtImageControl(QWidget* parent, std::function<void()> clicked)
        : QWidget(parent), m_clicked(std::move(clicked)) {
        if (!m_clicked) setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // The picture is drawn scaled to the control, so a bar that grows needs no new picture.
    void SetPicture(int bitmapId, const QPixmap* picture) {
        if (bitmapId == m_bitmapId) return;
        m_bitmapId = bitmapId;
        m_picture = picture != nullptr ? *picture : QPixmap();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_picture.isNull()) return;
        QPainter painter(this);
        painter.drawPixmap(rect(), m_picture);
    }
    // A notifying static control reports the click on the press.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) m_clicked();
    }

private:
    std::function<void()> m_clicked;
    int m_bitmapId = 0;
    QPixmap m_picture;
};

// A combo box whose field can show a text of its own in place of the selected row's, as a text set
// on the window's combo box shows until the player picks another row.
class QtComboBox : public QComboBox {
public:
    explicit QtComboBox(QWidget* parent) : QComboBox(parent) {
        QObject::connect(this, &QComboBox::currentIndexChanged, this, [this] { SetShownText({}); });
    }
    QString ShownText() const { return m_shown.isEmpty() ? currentText() : m_shown; }
    void SetShownText(const QString& text) {
        if (text == m_shown) return;
        m_shown = text;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        if (!m_shown.isEmpty()) option.currentText = m_shown;
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }

private:
    QString m_shown;
};

class QtTextControl : public QWidget {
public:
    QtTextControl(QWidget* parent, Qt::Alignment alignment) : QWidget(parent), m_alignment(alignment) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        m_textColor = palette().color(QPalette::WindowText);
    }

    const QString& Text() const { return m_text; }
    void SetText(const QString& text) {
        if (text == m_text) return;
        m_text = text;
        update();
    }
    void SetColors(const QColor& text, const std::optional<QColor>& background) {
        if (text == m_textColor && background == m_background) return;
        m_textColor = text;
        m_background = background;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (m_background) painter.fillRect(rect(), *m_background);
        painter.setPen(m_textColor);
        // A one-line label sized by its characters (the progress label: 6 pixels each and 2 more)
        // takes a smaller face where the sans face is wider than that, so nothing of it is cut and a
        // column of the label's colour stays at its right edge.
        QFont face = font();
        while (!m_text.contains(' ') && QFontMetrics(face).horizontalAdvance(m_text) >= width() &&
               face.pointSizeF() > 5.0)
            face.setPointSizeF(face.pointSizeF() - 0.5);
        painter.setFont(face);
        painter.drawText(rect(), static_cast<int>(m_alignment) | Qt::TextWordWrap, m_text);
    }

private:
    Qt::Alignment m_alignment;
    QString m_text;
    QColor m_textColor;
    std::optional<QColor> m_background;
};

// The installing box: Enter ends it with IDOK, Escape and the window's close button with IDCANCEL.
class QtBoxDialog : public QDialog {
public:
    void reject() override { done(IDCANCEL); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            done(IDCANCEL);
        } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            done(IDOK);
        } else {
            QDialog::keyPressEvent(event);
        }
    }
};

class QtModalBox : public IModalBox {
public:
    explicit QtModalBox(const DialogTemplate& dialog) {
        m_dialog.setWindowTitle(FromUtf8(platform::ApplicationTitle()));
        m_dialog.setFixedSize(dialog.size.width, dialog.size.height);
        for (const ControlTemplate& entry : dialog.controls) {
            if (entry.kind != ControlKind::Text) continue;
            auto* text = new QtTextControl(&m_dialog, Qt::AlignHCenter | Qt::AlignTop);
            text->SetText(FromUtf8(entry.text));
            text->setGeometry(ToQRect(entry.rect));
        }
    }

    // A worker ends the box from its own thread; the dialog is only touched on the user-interface
    // thread, where the queued call runs inside the box's own loop or, when the box is not shown yet,
    // finds it hidden and leaves the result for RunModal.
    void EndDialog(int result) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_result) return;
            m_result = result;
        }
        QMetaObject::invokeMethod(
            &m_dialog,
            [this, result] {
                if (m_dialog.isVisible()) m_dialog.done(result);
            },
            Qt::QueuedConnection);
    }

    int Run() {
        {
            std::lock_guard lock(m_mutex);
            if (m_result) return *m_result;
        }
        return m_dialog.exec();
    }

private:
    QtBoxDialog m_dialog;
    std::mutex m_mutex;
    std::optional<int> m_result;
};

}  // namespace

class QtPaintCounter : public QObject {
public:
    explicit QtPaintCounter(QObject* watched) : QObject(watched) { watched->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

class QtSkinWindow : public QWidget {
public:
    QtSkinWindow(QtDialogHost& host, IDialogEvents& events) : m_host(host), m_events(events) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }

    // Where the window system cannot move the window itself, the window follows the pointer until the
    // left button is released; that release ends the drag and is no click.
    void BeginDrag() {
        QWindow* handle = windowHandle();
        if (handle != nullptr && handle->startSystemMove()) return;
        m_dragging = true;
        m_dragOffset = m_lastPointer - pos();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QPixmap* background = m_host.Picture(m_events.BackgroundBitmapId());
        if (background == nullptr) return;
        QPainter painter(this);
        painter.drawPixmap(0, 0, *background);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        m_lastPointer = event->globalPosition().toPoint();
        if (m_dragging) {
            move(m_lastPointer - m_dragOffset);
            return;
        }
        QPoint at = event->position().toPoint();
        m_events.OnMouseMove(KeyFlags(event), at.x(), at.y());
    }

    void mousePressEvent(QMouseEvent* event) override {
        m_lastPointer = event->globalPosition().toPoint();
        if (event->button() != Qt::LeftButton) return;
        QPoint at = event->position().toPoint();
        m_events.OnLButtonDown(KeyFlags(event), at.x(), at.y());
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        m_lastPointer = event->globalPosition().toPoint();
        if (event->button() != Qt::LeftButton) return;
        if (m_dragging) {
            m_dragging = false;
            return;
        }
        QPoint at = event->position().toPoint();
        m_events.OnLButtonUp(KeyFlags(event), at.x(), at.y());
    }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate) m_events.OnSetFocus();
        return QWidget::event(event);
    }

    // The window manager's close request ends the launcher as its own close button does.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        m_host.DestroyWindow();
    }

private:
    QtDialogHost& m_host;
    IDialogEvents& m_events;
    bool m_dragging = false;
    QPoint m_dragOffset;
    QPoint m_lastPointer;
};

QtDialogHost::QtDialogHost() : m_context(std::make_unique<QObject>()) { m_wakeUp.setSingleShot(true); }

QtDialogHost::~QtDialogHost() = default;

QtDialogHost::Control* QtDialogHost::Find(int id) {
    auto found = m_controls.find(id);
    return found != m_controls.end() ? &found->second : nullptr;
}

const QtDialogHost::Control* QtDialogHost::Find(int id) const {
    auto found = m_controls.find(id);
    return found != m_controls.end() ? &found->second : nullptr;
}

const QPixmap* QtDialogHost::Picture(int bitmapId) {
    if (bitmapId == 0) return nullptr;
    auto found = m_pictures.find(bitmapId);
    if (found == m_pictures.end()) {
        std::span<const uint8_t> bytes = platform::BitmapResource(bitmapId);
        QImage image = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
        found = m_pictures.emplace(bitmapId, QPixmap::fromImage(image)).first;
    }
    return found->second.isNull() ? nullptr : &found->second;
}

bool QtDialogHost::CreateDialogWindow(int templateId, IDialogEvents* events) {
    const DialogTemplate* dialog = FindDialogTemplate(templateId);
    if (dialog == nullptr || events == nullptr || m_window) return false;
    m_events = events;
    m_quitDispatched = false;
    m_window = std::make_unique<QtSkinWindow>(*this, *events);
    m_window->setWindowTitle(FromUtf8(platform::ApplicationTitle()));
    m_window->resize(dialog->size.width, dialog->size.height);
    m_windowPaints = new QtPaintCounter(m_window.get());
    QFont font = m_window->font();
    font.setPointSize(kWindowFontPoints);
    m_window->setFont(font);

    for (const ControlTemplate& entry : dialog->controls) {
        const int id = entry.id;
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case ControlKind::PushButton: {
                auto* button = new QPushButton(FromUtf8(entry.text), m_window.get());
                button->setFlat(true);
                QObject::connect(button, &QPushButton::clicked,
                                 [this, id] { m_events->OnCommand(id, BN_CLICKED); });
                widget = button;
                break;
            }
            case ControlKind::Image: {
                std::function<void()> clicked;
                if (IsClickableImage(id)) clicked = [this, id] { m_events->OnCommand(id, BN_CLICKED); };
                widget = new QtImageControl(m_window.get(), std::move(clicked));
                break;
            }
            case ControlKind::Text: {
                auto* text = new QtTextControl(m_window.get(), Qt::AlignLeft | Qt::AlignTop);
                text->SetText(FromUtf8(entry.text));
                widget = text;
                break;
            }
            case ControlKind::ComboBox: {
                auto* combo = new QtComboBox(m_window.get());
                QObject::connect(combo, &QComboBox::activated,
                                 [this, id] { m_events->OnCommand(id, CBN_SELCHANGE); });
                widget = combo;
                break;
            }
            case ControlKind::CheckBox: {
                auto* check = new QCheckBox(m_window.get());
                QObject::connect(check, &QCheckBox::clicked,
                                 [this, id] { m_events->OnCommand(id, BN_CLICKED); });
                widget = check;
                break;
            }
            case ControlKind::WebView: {
                auto* view = new QWebEngineView(m_window.get());
                QWebEnginePage* page = view->page();
                const uintptr_t browser = reinterpret_cast<uintptr_t>(page);
                QObject::connect(page, &QWebEnginePage::urlChanged, [this, id, browser](const QUrl& url) {
                    m_events->OnWebNavigateComplete(id, browser, url.toString().toStdString());
                });
                // Pages of a server whose authority ORL_CA_BUNDLE names are trusted as libcurl trusts
                // them; every other certificate error stays an error.
                QObject::connect(
                    page, &QWebEnginePage::certificateError, [](const QWebEngineCertificateError& error) {
                        QWebEngineCertificateError answer = error;
                        if (answer.isOverridable() &&
                            TrustedByExtraAuthorities(answer.certificateChain(), answer.url().host())) {
                            answer.acceptCertificate();
                        } else {
                            answer.rejectCertificate();
                        }
                    });
                QObject::connect(page, &QWebEnginePage::loadFinished, [this, id, browser, page](bool ok) {
                    if (ok)
                        m_events->OnWebDocumentComplete(id, browser, page->url().toString().toStdString());
                });
                widget = view;
                break;
            }
        }
        // As in a dialog made from a template, the first control lies on top of the later ones.
        widget->lower();
        Control& control = m_controls[id] = {entry.kind, widget, new QtPaintCounter(widget), entry.rect};
        PlaceWidget(control);
        if (entry.bitmapId != 0) SetControlImage(id, entry.bitmapId);
    }
    return true;
}

bool QtDialogHost::IsWindowAlive() { return m_window != nullptr; }

void QtDialogHost::DestroyWindow() {
    if (!m_window) return;
    for (auto& [id, timer] : m_timers) timer->stop();
    m_controls.clear();
    m_windowPaints = nullptr;
    m_window->hide();
    m_closingWindow = std::move(m_window);
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            m_closingWindow.reset();
            m_quitDispatched = true;
        },
        Qt::QueuedConnection);
}

void QtDialogHost::ShowWindow() {
    if (!m_window) return;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool QtDialogHost::SetWindowRegion(int width, int height) {
    if (!m_window || width <= 0 || height <= 0) return false;
    m_window->setMask(QRegion(0, 0, width, height));
    return true;
}

void QtDialogHost::MoveWindow(const Rect& rect) {
    if (!m_window) return;
    m_window->setGeometry(ToQRect(rect));
    m_window->raise();
}

Size QtDialogHost::ScreenSize() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    return {screen->size().width(), screen->size().height()};
}

void QtDialogHost::SetWindowIcon(int iconId) {
    const QPixmap* icon = Picture(iconId);
    if (m_window && icon != nullptr) m_window->setWindowIcon(QIcon(*icon));
}

// Window managers on Linux offer no menu of the window's own that a program can add entries to, and
// the about entry opens nothing; the entry is left out.
void QtDialogHost::AppendSystemMenuItem(int, const std::string&) {}

void QtDialogHost::RedrawWindow() {
    if (m_window) m_window->repaint();
}

void QtDialogHost::BeginWindowDrag() {
    if (m_window) m_window->BeginDrag();
}

bool QtDialogHost::PumpEvents(int maxWaitMs) {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr) return !m_quitDispatched;
    // One round of the dispatcher may leave events of a lower priority waiting, so it runs until the
    // queue is dry, but no longer than a slice: a page that keeps producing events must not hold up
    // the launcher's loop.
    bool dispatched = false;
    QElapsedTimer slice;
    slice.start();
    while (!m_quitDispatched && slice.elapsed() < kDrainSliceMs &&
           dispatcher->processEvents(QEventLoop::AllEvents)) {
        dispatched = true;
    }
    if (!dispatched && maxWaitMs > 0 && !m_quitDispatched) {
        // The timer is only there to wake the wait up when nothing else does.
        m_wakeUp.start(maxWaitMs);
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        m_wakeUp.stop();
    }
    // The launcher never enters QApplication::exec(), so objects deleted later from outside any event
    // handler would wait for a loop that never comes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !m_quitDispatched;
}

void QtDialogHost::PlaceWidget(Control& control) {
    const Rect& rect = control.rect;
    if (control.kind == ControlKind::ComboBox) {
        auto* combo = static_cast<QComboBox*>(control.widget);
        const int field = std::min(rect.height, kComboFieldHeight);
        combo->setGeometry(rect.x, rect.y, rect.width, field);
        combo->setMaxVisibleItems(std::max(1, (rect.height - field) / kComboRowHeight));
        return;
    }
    control.widget->setGeometry(ToQRect(rect));
}

void QtDialogHost::MoveControl(int id, const Rect& rect, bool) {
    Control* control = Find(id);
    if (control == nullptr) return;
    control->rect = rect;
    PlaceWidget(*control);
}

Rect QtDialogHost::ControlRect(int id) {
    Control* control = Find(id);
    return control != nullptr ? control->rect : Rect{};
}

void QtDialogHost::SetControlZOrder(int id, ZOrder order) {
    Control* control = Find(id);
    if (control == nullptr) return;
    if (order == ZOrder::Top) {
        control->widget->raise();
    } else {
        control->widget->lower();
    }
}

void QtDialogHost::ShowControl(int id, bool shown) {
    if (Control* control = Find(id)) control->widget->setVisible(shown);
}

void QtDialogHost::EnableControl(int id, bool enabled) {
    if (Control* control = Find(id)) control->widget->setEnabled(enabled);
}

void QtDialogHost::SetControlRegion(int id, const Rect& region) {
    if (Control* control = Find(id)) control->widget->setMask(QRegion(ToQRect(region)));
}

void QtDialogHost::SetControlImage(int id, int bitmapId) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::Image) return;
    const QPixmap* picture = Picture(bitmapId);
    static_cast<QtImageControl*>(control->widget)->SetPicture(bitmapId, picture);
    if (picture == nullptr) return;
    control->rect.width = picture->width();
    control->rect.height = picture->height();
    PlaceWidget(*control);
}

void QtDialogHost::SetControlText(int id, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr) return;
    const QString value = FromUtf8(text);
    switch (control->kind) {
        case ControlKind::Text:
            static_cast<QtTextControl*>(control->widget)->SetText(value);
            break;
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            static_cast<QAbstractButton*>(control->widget)->setText(value);
            break;
        case ControlKind::ComboBox:
            static_cast<QtComboBox*>(control->widget)->SetShownText(value);
            break;
        case ControlKind::Image:
        case ControlKind::WebView:
            break;
    }
}

std::string QtDialogHost::ControlText(int id) {
    Control* control = Find(id);
    if (control == nullptr) return {};
    switch (control->kind) {
        case ControlKind::Text:
            return static_cast<QtTextControl*>(control->widget)->Text().toStdString();
        case ControlKind::PushButton:
        case ControlKind::CheckBox:
            return static_cast<QAbstractButton*>(control->widget)->text().toStdString();
        case ControlKind::ComboBox:
            return static_cast<QtComboBox*>(control->widget)->ShownText().toStdString();
        case ControlKind::Image:
        case ControlKind::WebView:
            break;
    }
    return {};
}

void QtDialogHost::SetControlFont(int id, const std::string& face, int points) {
    Control* control = Find(id);
    if (control == nullptr) return;
    // The Korean serif face of the version line has its fontconfig stand-in; every other face of the
    // launcher is a plain sans face.
    QFont font = face == "궁서" ? QFont(QStringLiteral("Noto Serif CJK KR")) : QApplication::font();
    font.setPointSize(points);
    control->widget->setFont(font);
}

void QtDialogHost::SetControlColors(int id, uint32_t textRgb, uint32_t backgroundRgb) {
    Control* control = Find(id);
    if (control == nullptr) return;
    std::optional<QColor> background;
    if (backgroundRgb != kTransparent) background = FromRgb(backgroundRgb);
    if (control->kind == ControlKind::Text) {
        static_cast<QtTextControl*>(control->widget)->SetColors(FromRgb(textRgb), background);
        return;
    }
    if (control->kind != ControlKind::ComboBox) return;
    QPalette palette = control->widget->palette();
    palette.setColor(QPalette::ButtonText, FromRgb(textRgb));
    palette.setColor(QPalette::Text, FromRgb(textRgb));
    if (background) {
        palette.setColor(QPalette::Button, *background);
        palette.setColor(QPalette::Base, *background);
    }
    control->widget->setPalette(palette);
}

int QtDialogHost::ComboAddString(int id, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return -1;
    auto* combo = static_cast<QComboBox*>(control->widget);
    combo->addItem(FromUtf8(text));
    return combo->count() - 1;
}

int QtDialogHost::ComboInsertString(int id, int row, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return -1;
    auto* combo = static_cast<QComboBox*>(control->widget);
    if (row < 0 || row > combo->count()) row = combo->count();
    combo->insertItem(row, FromUtf8(text));
    return row;
}

int QtDialogHost::ComboGetCurSel(int id) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return -1;
    return static_cast<QComboBox*>(control->widget)->currentIndex();
}

void QtDialogHost::ComboSetCurSel(int id, int row) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return;
    auto* combo = static_cast<QComboBox*>(control->widget);
    combo->setCurrentIndex(row >= 0 && row < combo->count() ? row : -1);
}

std::string QtDialogHost::ComboItemText(int id, int row) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return {};
    auto* combo = static_cast<QComboBox*>(control->widget);
    if (row < 0 || row >= combo->count()) return {};
    return combo->itemText(row).toStdString();
}

// The colour is the drop-down list's background; its rows are always written in white.
void QtDialogHost::ComboSetBackgroundColor(int id, uint32_t rgb) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return;
    QAbstractItemView* list = static_cast<QComboBox*>(control->widget)->view();
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, FromRgb(rgb));
    palette.setColor(QPalette::Window, FromRgb(rgb));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::white);
    list->setPalette(palette);
}

void QtDialogHost::SetCheck(int id, int state) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::CheckBox) return;
    static_cast<QCheckBox*>(control->widget)->setChecked(state != 0);
}

int QtDialogHost::GetCheck(int id) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::CheckBox) return 0;
    return static_cast<QCheckBox*>(control->widget)->isChecked() ? 1 : 0;
}

int QtDialogHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    if (answerBoxes) return answerBoxes(text, caption, flags);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
        case MB_ICONEXCLAMATION:
            icon = QMessageBox::Warning;
            break;
        case MB_ICONSTOP:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
    }
    const bool okCancel = (flags & 0xF) == MB_OKCANCEL;
    QMessageBox box(icon, FromUtf8(caption), FromUtf8(text),
                    okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, m_window.get());
    box.setDefaultButton(okCancel && (flags & MB_DEFBUTTON2) != 0 ? QMessageBox::Cancel : QMessageBox::Ok);
    if (onBoxShown) QTimer::singleShot(0, &box, [this, &box] { onBoxShown(box); });
    return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
}

void QtDialogHost::SetTimer(unsigned id, unsigned periodMs) {
    std::unique_ptr<QTimer>& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] {
            if (m_events != nullptr) m_events->OnTimer(id);
        });
    }
    timer->start(static_cast<int>(periodMs));
}

// The timer object stays: a handler may kill the very timer whose tick it is handling.
void QtDialogHost::KillTimer(unsigned id) {
    auto found = m_timers.find(id);
    if (found != m_timers.end()) found->second->stop();
}

std::unique_ptr<IModalBox> QtDialogHost::CreateModalBox(int templateId) {
    const DialogTemplate* dialog = FindDialogTemplate(templateId);
    if (dialog == nullptr) return nullptr;
    return std::make_unique<QtModalBox>(*dialog);
}

int QtDialogHost::RunModal(IModalBox& box) {
    auto* modal = dynamic_cast<QtModalBox*>(&box);
    return modal != nullptr ? modal->Run() : IDCANCEL;
}

void QtDialogHost::Navigate(int id, const std::string& url) {
    Control* control = Find(id);
    if (control == nullptr || control->kind != ControlKind::WebView) return;
    static_cast<QWebEngineView*>(control->widget)->load(QUrl(FromUtf8(url)));
}

void QtDialogHost::OpenUrl(const std::string& url) { QDesktopServices::openUrl(QUrl(FromUtf8(url))); }

int QtDialogHost::PaintCount(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->paints->count : -1;
}

int QtDialogHost::WindowPaintCount() const { return m_windowPaints != nullptr ? m_windowPaints->count : 0; }

QWidget* QtDialogHost::Window() const { return m_window.get(); }

QWidget* QtDialogHost::ControlWidget(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->widget : nullptr;
}
