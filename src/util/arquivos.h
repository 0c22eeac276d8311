#pragma once

// Files and folders as the exchange with the calling application needs them: the drive root
// that stands for "C:\", names found without regard to letter case, text files in code page
// 1252 with CR LF, and writes that never leave a half-written file behind.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qel {

// The folder that stands for the Windows drive root: $QEL_DFE_RAIZ, or the home folder.
// Always ends with "/".
QString raizDrive();

// A path as the calling application or a fixed rule writes it, made native: "C:\x\y" and
// "c:/x/y" become <drive root>/x/y, backslashes become "/". Other paths are kept.
QString caminhoNativo(const QString& caminho);

// The path with each existing component spelled as it is on disk, found without regard to
// letter case; components that do not exist keep the spelling given. A trailing "/" stays.
QString localizaCaminho(const QString& caminho);

bool existeArquivo(const QString& caminho);
bool existePasta(const QString& caminho);
// Deletes the file when it exists (found without regard to case). True when it is gone.
bool apagaArquivo(const QString& caminho);

// Reads a whole text file (encoding: see decodificaTextoArquivo). Throws ErroInesperado when
// the file is missing or unreadable.
QString lerTexto(const QString& caminho);
// Reads a document file as it is signed and sent: every line trimmed, the lines joined, in
// UTF-8 (see textoArquivoJuntoUtf8). Throws ErroInesperado like lerTexto.
QByteArray lerTextoJuntoUtf8(const QString& caminho);
// The lines of a text file; CR LF, LF and CR all end a line, a final line end adds no line.
QStringList lerLinhas(const QString& caminho);
QStringList divideLinhas(const QString& texto);

// Writes bytes atomically: a temporary file in the same folder, written and synced to disk, then
// renamed over the target. False on failure (a full disk, say): then no temporary is left and an
// older file at the target is untouched.
bool gravaBytes(const QString& caminho, const QByteArray& dados);
// Writes the lines as a code page 1252 text, each followed by CR LF, atomically.
bool gravaLinhas(const QString& caminho, const QStringList& linhas);

// Names in the folder that match the wildcard pattern ("*" and "?") without regard to case,
// sorted by name the way a Windows file list sorts them.
QStringList listaPorPadrao(const QString& pasta, const QString& padrao);

// Creates the missing folders of the path (its last component is a file name and is never
// created); with flag "S" deletes that file when it exists. Throws ErroInesperado when a
// folder cannot be created.
void Prepara_Pasta(const QString& caminho, const QString& flag);

// The characters after the last separator; empty when there is none (a separator in the last
// position does not count).
QString Nome_Arquivo(const QString& caminho);

} // namespace qel
