#include "convert/office/office_output.h"

#include "convert/office/office_process.h"
#include "convert/office/office_url.h"
#include "core/error.h"
#include "core/partial_file.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>

TkvOfficeOutput::TkvOfficeOutput(const QString& finalPath,
                                 std::shared_ptr<TkvOfficeProcess> process)
    : finalPath_(QFileInfo(finalPath).absoluteFilePath()) {
  if (!process) process = TkvOfficeProcess::ForThisThread();
  static std::atomic<unsigned> counter{0};
  const QString folder = process->TempFolder();
  if (folder.isEmpty())
    throw TkvError(
        QStringLiteral("LibreOffice is not running: %1 cannot be written").arg(finalPath));
  staged_ = folder + QStringLiteral("/output-%1.pdf").arg(++counter);
}

TkvOfficeOutput::~TkvOfficeOutput() {
  if (!staged_.isEmpty()) QFile::remove(staged_);
}

QString TkvOfficeOutput::Url() const { return TkvOfficeFileUrl(staged_); }

qint64 TkvOfficeOutput::WrittenSize() const { return QFileInfo(staged_).size(); }

void TkvOfficeOutput::Place() {
  TkvPartialFile part(finalPath_);
  if (!part.Take(staged_) || !part.Commit())
    throw TkvError(QStringLiteral("Cannot move the PDF file into place at %1").arg(finalPath_));
}
