#include "util/arquivos.h"

#include "util/codificacao.h"
#include "util/erros.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace qel {

QString raizDrive() {
    QString raiz = qEnvironmentVariable("QEL_DFE_RAIZ");
    if (raiz.isEmpty()) raiz = QDir::homePath();
    if (!raiz.endsWith(u'/')) raiz += u'/';
    return raiz;
}

QString caminhoNativo(const QString& caminho) {
    QString c = caminho;
    c.replace(u'\\', u'/');
    if (c.size() >= 2 && c.at(1) == u':' && c.at(0).isLetter() && (c.size() == 2 || c.at(2) == u'/'))
        return raizDrive() + c.mid(3);
    return c;
}

QString localizaCaminho(const QString& caminho) {
    if (caminho.isEmpty()) return caminho;
    const bool absoluto = caminho.startsWith(u'/');
    const bool barraFinal = caminho.endsWith(u'/');
    const QStringList partes = caminho.split(u'/', Qt::SkipEmptyParts);
    QString atual = absoluto ? u"/"_s : QString();
    bool existe = true;
    for (qsizetype i = 0; i < partes.size(); ++i) {
        QString parte = partes.at(i);
        const QString base = atual.isEmpty() ? u"."_s : atual;
        if (existe && parte != u"."_s && parte != u".."_s) {
            if (!QFileInfo::exists(base + u'/' + parte)) {
                const QStringList nomes = QDir(base).entryList(QDir::AllEntries | QDir::Hidden |
                                                               QDir::System | QDir::NoDotAndDotDot);
                auto achado = std::find_if(nomes.begin(), nomes.end(), [&](const QString& n) {
                    return n.compare(parte, Qt::CaseInsensitive) == 0;
                });
                if (achado != nomes.end())
                    parte = *achado;
                else
                    existe = false;
            }
        }
        if (!atual.isEmpty() && !atual.endsWith(u'/')) atual += u'/';
        atual += parte;
    }
    if (barraFinal && !atual.endsWith(u'/')) atual += u'/';
    return atual;
}

bool existeArquivo(const QString& caminho) {
    const QFileInfo info(localizaCaminho(caminho));
    return info.exists() && !info.isDir();
}

bool existePasta(const QString& caminho) {
    return QFileInfo(localizaCaminho(caminho)).isDir();
}

bool apagaArquivo(const QString& caminho) {
    const QString real = localizaCaminho(caminho);
    if (!QFileInfo::exists(real)) return true;
    return QFile::remove(real);
}

namespace {

QByteArray leBytes(const QString& caminho) {
    QFile arquivo(localizaCaminho(caminho));
    if (!arquivo.open(QIODevice::ReadOnly))
        throw ErroInesperado(u"Não foi possível ler o arquivo "_s + caminho + u": "_s +
                             arquivo.errorString());
    return arquivo.readAll();
}

} // namespace

QString lerTexto(const QString& caminho) {
    return decodificaTextoArquivo(leBytes(caminho));
}

QByteArray lerTextoJuntoUtf8(const QString& caminho) {
    return textoArquivoJuntoUtf8(leBytes(caminho));
}

QStringList divideLinhas(const QString& texto) {
    QStringList linhas;
    qsizetype inicio = 0;
    const qsizetype n = texto.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = texto.at(i);
        if (c != u'\r' && c != u'\n') continue;
        linhas.append(texto.mid(inicio, i - inicio));
        if (c == u'\r' && i + 1 < n && texto.at(i + 1) == u'\n') ++i;
        inicio = i + 1;
    }
    if (inicio < n) linhas.append(texto.mid(inicio));
    return linhas;
}

QStringList lerLinhas(const QString& caminho) {
    return divideLinhas(lerTexto(caminho));
}

// Not QSaveFile: on a full disk its commit renames an empty temporary over the target and says
// it worked, and it ignores the result of fsync. Every step here is checked.
bool gravaBytes(const QString& caminho, const QByteArray& dados) {
    const QByteArray alvo = QFile::encodeName(localizaCaminho(caminho));
    // A plain create in the same folder (the umask applies as to any new file), under a name no
    // one else uses; an existing file's mode is kept.
    QByteArray temporario;
    int fd = -1;
    for (int tentativa = 0; fd < 0 && tentativa < 100; ++tentativa) {
        temporario = alvo + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        fd = ::open(temporario.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = true;
    struct stat atual {};
    if (::stat(alvo.constData(), &atual) == 0) ok = ::fchmod(fd, atual.st_mode & 07777) == 0;
    for (qsizetype feito = 0; ok && feito < dados.size();) {
        const ssize_t n = ::write(fd, dados.constData() + feito, static_cast<size_t>(dados.size() - feito));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            feito += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporario.constData(), alvo.constData()) == 0;
    if (!ok) {
        ::unlink(temporario.constData());
        return false;
    }
    // The new name reaches the disk with its folder.
    const QByteArray pasta = QFile::encodeName(QFileInfo(QFile::decodeName(alvo)).absolutePath());
    if (const int dfd = ::open(pasta.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool gravaLinhas(const QString& caminho, const QStringList& linhas) {
    QString texto;
    for (const QString& linha : linhas)
        texto += linha + u"\r\n"_s;
    return gravaBytes(caminho, paraCp1252(texto));
}

QStringList listaPorPadrao(const QString& pasta, const QString& padrao) {
    const QRegularExpression expressao(QRegularExpression::wildcardToRegularExpression(padrao),
                                       QRegularExpression::CaseInsensitiveOption);
    QStringList nomes;
    const QStringList todos =
        QDir(localizaCaminho(pasta)).entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QString& nome : todos)
        if (expressao.match(nome).hasMatch()) nomes.append(nome);
    std::sort(nomes.begin(), nomes.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return nomes;
}

void Prepara_Pasta(const QString& caminho, const QString& flag) {
    const qsizetype fim = caminho.lastIndexOf(u'/');
    if (fim > 0) {
        const QString pasta = localizaCaminho(caminho.left(fim));
        if (!QFileInfo(pasta).isDir() && !QDir().mkpath(pasta))
            throw ErroInesperado(u"Não foi possível criar a pasta "_s + pasta);
    }
    if (flag == u"S"_s) {
        const QString arquivo = localizaCaminho(caminho);
        const QFileInfo info(arquivo);
        if (info.exists() && !info.isDir()) QFile::remove(arquivo);
    }
}

QString Nome_Arquivo(const QString& caminho) {
    const qsizetype p = caminho.left(caminho.size() - 1).lastIndexOf(u'/');
    return p < 0 ? QString() : caminho.mid(p + 1);
}

} // namespace qel
