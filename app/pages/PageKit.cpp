// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/PageKit.h"

#include "HealthStyle.h"
#include "display/DisplayFormats.h"
#include "pages/HistoryPage.h"
#include "platform/DeviceStatus.h"
#include "selftest/SelfTestPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace corvane::app {

namespace {

gui::Appearance appearanceOf(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? gui::Appearance::Dark : gui::Appearance::Light;
}

const char *const kCriticalWarningBits[] = {"the available spare is below its threshold",
                                            "the temperature is out of range",
                                            "the NVM subsystem's reliability is degraded",
                                            "the media is read-only",
                                            "the volatile memory backup failed"};

} // namespace

QColor failureColor(const QPalette &palette)
{
    return gui::statusColor(QStringLiteral("Failed"), appearanceOf(palette));
}

QString locationText(const QVariantMap &m)
{
    // "Loc-Con" already says where ("Internal PCI-Express"); the bare
    // location is the fallback when the connection is unknown.
    const QString connection = text(m, "Loc-Con").simplified();
    return connection.isEmpty() || connection == QLatin1String("-") ? text(m, "location") : connection;
}

QString text(const QVariantMap &m, const char *key)
{
    return display::blankLineXfmr(m.value(QLatin1String(key)));
}

QString verdictReason(const DriveEntry &entry)
{
    const QVariantMap &p = entry.properties();
    const QString health = p.value(QStringLiteral("attributeHealth")).toString();
    if (health == QLatin1String("Passed"))
        return QString();
    if (!p.contains(QStringLiteral("attributeHealth"))) {
        if (entry.readStatus)
            return QStringLiteral("No SMART data could be read: %1").arg(statusUserMessage(entry.readStatus));
        return QStringLiteral("No SMART data could be read from this drive.");
    }
    if (health == QLatin1String("-"))
        return QStringLiteral("The drive's SMART data is not valid, so no verdict can be made.");
    if (entry.isNVMe()) {
        const int warning = p.value(QStringLiteral("criticalWarning")).toInt();
        QStringList said;
        for (int bit = 0; bit < 5; ++bit)
            if (warning & (1 << bit))
                said << QLatin1String(kCriticalWarningBits[bit]);
        if (!said.isEmpty())
            return QStringLiteral("The drive's critical warning says %1.").arg(said.join(QStringLiteral(" and ")));
        return QStringLiteral("The drive reports a problem with its health.");
    }
    if (p.value(QStringLiteral("health")).toString() == QLatin1String("Failed"))
        return QStringLiteral("The drive itself reports that an attribute exceeded its threshold: back it up now.");
    QStringList bad;
    for (const QVariant &r : p.value(QStringLiteral("vendorspecificAttributes")).toList()) {
        const QVariantMap m = r.toMap();
        if (m.value(QStringLiteral("bad")).toBool())
            bad << QStringLiteral("%1 (%2, raw %3)")
                       .arg(m.value(QStringLiteral("attributeName")).toString(), m.value(QStringLiteral("ID")).toString(),
                            m.value(QStringLiteral("rawValue")).toString());
    }
    if (bad.isEmpty())
        return QStringLiteral("An attribute shows a problem.");
    return QStringLiteral("Attribute%1 %2 %3 a problem.")
        .arg(bad.size() > 1 ? QStringLiteral("s") : QString(), bad.join(QStringLiteral(", ")),
             bad.size() > 1 ? QStringLiteral("show") : QStringLiteral("shows"));
}

// --- VerdictLine ---

VerdictLine::VerdictLine(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    _symbol = new QWidget(this);
    _symbol->setFixedSize(36, 36);
    _symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
    _word = new QLabel(this);
    QFont big = _word->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    _word->setFont(big);
    _reason = new QLabel(this);
    _reason->setWordWrap(true);
    _reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(_symbol);
    layout->addWidget(_word);
    layout->addWidget(_reason, 1);
}

void VerdictLine::setDrive(const DriveEntry &entry)
{
    const QVariantMap &p = entry.properties();
    _health = p.value(QStringLiteral("attributeHealth")).toString();
    const QString word = _health.isEmpty() ? QStringLiteral("-") : _health;
    _word->setText(word);
    _reason->setText(verdictReason(entry));
    _symbol->setAccessibleName(word);
    _symbol->update();
    setAccessibleName(QStringLiteral("Health: %1").arg(word));
}

void VerdictLine::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        _symbol->update();
    QWidget::changeEvent(event);
}

void VerdictLine::paintEvent(QPaintEvent *)
{
    // The symbol is drawn here rather than as a pixmap so it stays crisp at any scale.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect r = _symbol->geometry();
    gui::paintHealthSymbol(painter, QRectF(r).center(), gui::statusImage(_health),
                           gui::statusColor(_health, appearanceOf(palette())), 2);
}

// --- DataTable ---

DataTable::DataTable(QWidget *parent) : QTableView(parent), _model(new QStandardItemModel(this))
{
    _model->setSortRole(Qt::UserRole + 1);
    setModel(_model);
    setSortingEnabled(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void DataTable::setColumns(const QStringList &headings)
{
    _model->clear();
    _model->setHorizontalHeaderLabels(headings);
}

void DataTable::clearRows()
{
    _model->removeRows(0, _model->rowCount());
}

void DataTable::addRow(const QStringList &cells, const QString &why)
{
    QList<QStandardItem *> items;
    const QColor bad = failureColor(palette());
    for (const QString &cell : cells) {
        auto *item = new QStandardItem(cell);
        // Numbers sort as numbers.
        bool number = false;
        const qlonglong n = cell.toLongLong(&number);
        item->setData(number ? QVariant(n) : QVariant(cell), Qt::UserRole + 1);
        if (!why.isEmpty()) {
            item->setForeground(bad);
            item->setToolTip(why);
        }
        items << item;
    }
    _model->appendRow(items);
}

int DataTable::rows() const
{
    return _model->rowCount();
}

QString DataTable::cellText(int row, int column) const
{
    return _model->index(row, column).data().toString();
}

void DataTable::setPrintLayout(bool on)
{
    setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (on) {
        resizeRowsToContents();
        int h = horizontalHeader()->height() + 2 * frameWidth();
        for (int r = 0; r < _model->rowCount(); ++r)
            h += rowHeight(r);
        setFixedHeight(h);
    } else {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void DataTable::copySelection() const
{
    QStringList lines;
    QList<int> rowsSeen;
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rowsSeen << i.row();
    std::sort(rowsSeen.begin(), rowsSeen.end());
    for (int r : rowsSeen) {
        QStringList cells;
        for (int c = 0; c < _model->columnCount(); ++c)
            cells << cellText(r, c);
        lines << cells.join(QLatin1Char('\t'));
    }
    if (!lines.isEmpty())
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void DataTable::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    QTableView::keyPressEvent(event);
}

// --- DrivePage ---

DrivePage::DrivePage(const QString &title, int tag, QWidget *parent)
    : QWidget(parent), _title(title), _tag(tag), _verdict(new VerdictLine(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(_verdict);
    _body = new QVBoxLayout;
    layout->addLayout(_body, 1);
    setAccessibleName(title);
}

void DrivePage::setDrive(const DriveEntry &entry)
{
    _verdict->setDrive(entry);
}

void DrivePage::setPrintLayout(bool) {}

void DrivePage::showSelfTestOffers(const DriveEntry &entry, QLabel *offers, SelfTestPanel *panel)
{
    QStringList names;
    for (const QVariant &t : entry.properties().value(QStringLiteral("selftests")).toList()) {
        const QVariantMap m = t.toMap();
        names << QStringLiteral("%1 (about %2)").arg(text(m, "displayName"), text(m, "timeToComplete").trimmed());
    }
    offers->setText(QStringLiteral("Self-tests offered: %1")
                        .arg(names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
    if (!panel)
        return;
    if (panel->parentWidget() != this) {
        body()->insertWidget(1, panel);
        panel->show();
    }
    panel->showDrive(entry);
}

QList<int> DrivePage::tableBreaks(const DataTable *table) const
{
    QList<int> breaks;
    const int top = table->mapTo(this, QPoint(0, 0)).y() + table->horizontalHeader()->height() + table->frameWidth();
    int y = top;
    for (int r = 0; r < table->rows(); ++r) {
        breaks << y;
        y += table->rowHeight(r);
    }
    breaks << y + table->frameWidth();
    return breaks;
}

// --- FormPage ---

FormPage::FormPage(const QString &title, int tag, QWidget *parent) : DrivePage(title, tag, parent)
{
    _scroll = new QScrollArea(this);
    _scroll->setWidgetResizable(true);
    _scroll->setFrameShape(QFrame::NoFrame);
    _container = new QWidget;
    _form = new QFormLayout(_container);
    _form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    _form->setLabelAlignment(Qt::AlignRight);
    _scroll->setWidget(_container);
    body()->addWidget(_scroll);
}

void FormPage::setPrintLayout(bool on)
{
    _scroll->setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (on)
        _scroll->setMinimumHeight(_container->sizeHint().height());
    else
        _scroll->setMinimumHeight(0);
}

void FormPage::clearForm()
{
    while (_form->rowCount() > 0)
        _form->removeRow(0);
}

void FormPage::heading(const QString &text)
{
    auto *label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setContentsMargins(0, _form->rowCount() ? 10 : 0, 0, 2);
    _form->addRow(label);
}

QLabel *FormPage::row(const QString &label, const QString &value, bool bad)
{
    auto *field = new QLabel(value);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Wrapping labels get their height from a guessed width; only long texts wrap.
    field->setWordWrap(value.size() > 90);
    if (bad) {
        QPalette pal = field->palette();
        pal.setColor(QPalette::WindowText, failureColor(palette()));
        field->setPalette(pal);
    }
    auto *name = new QLabel(label + QLatin1Char(':'));
    name->setBuddy(field);
    field->setAccessibleName(label);
    _form->addRow(name, field);
    return field;
}

void FormPage::growthRows(const DriveEntry &entry)
{
    const QStringList errors = errorCounterKeys();
    for (const DriveEntry::Growth &g : entry.growth)
        row(historyValueLabel(g.key), counterGrowthText(g.value, g.growth, DriveEntry::kGrowthDays),
            errors.contains(g.key));
}

// --- TablePage ---

TablePage::TablePage(const QString &title, int tag, QWidget *parent)
    : DrivePage(title, tag, parent), _note(new QLabel(this)), _table(new DataTable(this))
{
    _note->setWordWrap(true);
    _note->hide();
    _table->setAccessibleName(title);
    body()->addWidget(_note);
    body()->addWidget(_table, 1);
}

void TablePage::setPrintLayout(bool on)
{
    _table->setPrintLayout(on);
}

} // namespace corvane::app
