#include "ui/result_list.h"

#include "core/option_list.h"
#include "core/text_file.h"
#include "ui/images.h"

#include <QHeaderView>

namespace {
constexpr int kStatusRole = Qt::UserRole;
constexpr int kFullResultRole = Qt::UserRole + 1;
constexpr int kFilesRole = Qt::UserRole + 2;
}  // namespace

TkvResultList::TkvResultList(const TkvImageList& images, QWidget* parent)
    : QTreeWidget(parent), images_(images) {
  setObjectName(QStringLiteral("lViewer"));
  setFrameShape(QFrame::NoFrame);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  setContextMenuPolicy(Qt::CustomContextMenu);
  setToolTip(QStringLiteral("Drag & drop file(s) here and click \"Convert\" to convert them"));
  setHeaderLabels({QStringLiteral("@"), QStringLiteral("File Name"), QStringLiteral("Result")});
  headerItem()->setToolTip(0, QStringLiteral("State: waiting, converted, failed or not converted"));
  QHeaderView* h = header();
  h->setStretchLastSection(true);
  h->setMinimumSectionSize(30);
  h->setSectionResizeMode(StateColumn, QHeaderView::Fixed);
  h->resizeSection(StateColumn, 30);
  h->resizeSection(FileColumn, 370);
  h->resizeSection(ResultColumn, 370);
}

QTreeWidgetItem* TkvResultList::EnsureRow(int index) {
  if (index < 0) return nullptr;
  if (index >= topLevelItemCount()) {
    QList<QTreeWidgetItem*> rows;
    for (int i = topLevelItemCount(); i <= index; ++i) {
      auto* row = new QTreeWidgetItem();
      SetStatus(row, 0);
      rows << row;
    }
    addTopLevelItems(rows);
  }
  return topLevelItem(index);
}

QString TkvResultList::StateText(int status) {
  switch (status) {
    case TkvImage::Success:
      return QStringLiteral("Success");
    case TkvImage::Failure:
      return QStringLiteral("Failure");
    case TkvImage::NotConverted:
      return QStringLiteral("Not converted");
    default:
      return QStringLiteral("Waiting");
  }
}

int TkvResultList::MarkNotConverted() {
  int marked = 0;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    if (RowStatus(i) != TkvImage::Waiting) continue;
    QTreeWidgetItem* row = topLevelItem(i);
    SetStatus(row, TkvImage::NotConverted);
    row->setText(ResultColumn, StateText(TkvImage::NotConverted));
    row->setToolTip(ResultColumn, StateText(TkvImage::NotConverted));
    ++marked;
  }
  return marked;
}

int TkvResultList::FirstWaitingRow() const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (RowStatus(i) == TkvImage::Waiting) return i;
  return -1;
}

QString TkvResultList::SelectedRowsText() const {
  QString text;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (!item->isSelected()) continue;
    text += StateText(RowStatus(i)) + u'\t' + item->text(FileColumn) + u'\t' +
            item->text(ResultColumn) + u'\n';
  }
  return text;
}

void TkvResultList::SetStatus(QTreeWidgetItem* row, int status) {
  row->setData(StateColumn, kStatusRole, status);
  row->setIcon(StateColumn, images_.Icon(status));
  row->setData(StateColumn, Qt::AccessibleTextRole, StateText(status));
  row->setToolTip(StateColumn, StateText(status));
}

void TkvResultList::ShowItem(int index, const QString& path, int status) {
  QTreeWidgetItem* row = EnsureRow(index);
  if (!row) return;
  if (row->text(FileColumn).isEmpty()) {
    row->setText(FileColumn, path);
    row->setToolTip(FileColumn, path);
  }
  // A listing never takes back a result that already arrived.
  if (RowStatus(index) == 0) SetStatus(row, status);
}

void TkvResultList::SetItemResult(int index, const QString& fileName, const QString& result,
                                  int status, const QStringList& files, int pages,
                                  const QStringList& warnings) {
  QTreeWidgetItem* row = EnsureRow(index);
  if (!row) return;
  const QStringList lines = TkvSplitLines(result);
  row->setText(FileColumn, fileName);
  row->setToolTip(FileColumn, fileName);
  row->setText(ResultColumn, lines.isEmpty() ? QString() : lines.first());
  row->setData(ResultColumn, kFullResultRole, result);
  QString tip = result;
  if (status == 1 && pages > 0) {
    if (!tip.isEmpty()) tip += u'\n';
    tip += pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages);
  }
  for (const QString& warning : warnings) {
    if (!tip.isEmpty()) tip += u'\n';
    tip += QStringLiteral("Warning: ") + warning;
  }
  row->setToolTip(ResultColumn, tip);
  row->setData(FileColumn, kFilesRole, files);
  SetStatus(row, status);
}

QStringList TkvResultList::RowFiles(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->data(FileColumn, kFilesRole).toStringList() : QStringList();
}

int TkvResultList::RowStatus(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  return item ? item->data(StateColumn, kStatusRole).toInt() : 0;
}

QString TkvResultList::LogLine(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row);
  if (!item) return {};
  const int status = RowStatus(row);
  const QString word = status == 1   ? QStringLiteral("Success")
                       : status == 2 ? QStringLiteral("Failure")
                                     : QStringLiteral("Running");
  return QStringLiteral("[%1] => %2 => %3")
      .arg(word, item->text(FileColumn), item->text(ResultColumn));
}

QStringList TkvResultList::LogLines() const {
  QStringList lines;
  lines.reserve(topLevelItemCount());
  for (int i = 0; i < topLevelItemCount(); ++i) lines << LogLine(i);
  return lines;
}

void TkvResultList::SaveList(const QString& fileName) const {
  TkvWriteTextLines(fileName, LogLines());
}

QString TkvResultList::SelectedFile() const {
  // The first selected row in list order.
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (item->isSelected()) return item->text(FileColumn);
  }
  return {};
}
