#include "ws/qrcode_nfce.h"

#include "util/arquivos.h"
#include "util/compactacao.h"
#include "util/numeros.h"
#include "util/texto.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The text between <nome> and </nome> at or after `desde`, within `ate` when given; a null
// string when the element is not there.
QString valor(const QString& texto, const QString& nome, qsizetype desde = 0, qsizetype ate = -1) {
    const QString abre = u'<' + nome + u'>';
    const qsizetype a = texto.indexOf(abre, desde);
    if (a < 0 || (ate >= 0 && a >= ate)) return {};
    const qsizetype inicio = a + abre.size();
    const qsizetype fim = texto.indexOf(u"</"_s + nome + u'>', inicio);
    if (fim < 0 || (ate >= 0 && fim > ate)) return {};
    return texto.mid(inicio, fim - inicio).trimmed();
}

// Where the group <nome> starts and ends; {-1, -1} without it.
std::pair<qsizetype, qsizetype> grupo(const QString& texto, const QString& nome) {
    const qsizetype a = texto.indexOf(u'<' + nome + u'>');
    if (a < 0) return {-1, -1};
    const qsizetype b = texto.indexOf(u"</"_s + nome + u'>', a);
    return {a, b < 0 ? texto.size() : b};
}

bool temElemento(const QString& texto, const QString& nome, std::pair<qsizetype, qsizetype> g) {
    if (g.first < 0) return false;
    for (const QString& forma : {u'<' + nome + u'>', u'<' + nome + u"/>"_s}) {
        const qsizetype p = texto.indexOf(forma, g.first);
        if (p >= 0 && p < g.second) return true;
    }
    return false;
}

// The characters of the Base64 digest, each as two lower-case hexadecimal digits.
QString hexadecimal(const QString& texto) {
    return QString::fromLatin1(texto.toLatin1().toHex());
}

QString idCsc(const QString& configurado) {
    // Without the zeros on the left; a blank id counts as the first.
    return configurado.trimmed().isEmpty() ? u"1"_s : QString::number(Texto_Inteiro(configurado));
}

QString leRecurso(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

DocumentoQrNfce leDocumentoQrNfce(const QString& assinado) {
    DocumentoQrNfce d;
    const auto ide = grupo(assinado, u"ide"_s);
    d.offline = valor(assinado, u"tpEmis"_s, ide.first, ide.second) == u"9"_s;
    // The day as the document writes it, in the issuer's own time: the authority compares it with
    // dhEmi's text (rule ZX02-268), not with the date in any other zone.
    d.diaEmissao = valor(assinado, u"dhEmi"_s, ide.first, ide.second).mid(8, 2);
    const auto total = grupo(assinado, u"ICMSTot"_s);
    d.vNF = valor(assinado, u"vNF"_s, total.first, total.second);
    d.digestValue = valor(assinado, u"DigestValue"_s);
    const auto emitente = grupo(assinado, u"emit"_s);
    d.emitentePessoaFisica = temElemento(assinado, u"CPF"_s, emitente);
    const auto dest = grupo(assinado, u"dest"_s);
    if (temElemento(assinado, u"CNPJ"_s, dest)) {
        d.tipoDestinatario = u"1"_s;
        d.destinatario = CnpjSemPontuacao(valor(assinado, u"CNPJ"_s, dest.first, dest.second));
    } else if (temElemento(assinado, u"CPF"_s, dest)) {
        d.tipoDestinatario = u"2"_s;
        d.destinatario = Somente_Numeros(valor(assinado, u"CPF"_s, dest.first, dest.second));
    } else if (temElemento(assinado, u"idEstrangeiro"_s, dest)) {
        // A foreign recipient is told by its type alone: the parameter holds a CNPJ or a CPF.
        d.tipoDestinatario = u"3"_s;
    }
    return d;
}

QString parametrosQrNfce(const DadosQrNfce& d) {
    const QString inicio = d.chave + u'|' + QString::number(d.versao) + u'|' + d.tpAmb;
    if (d.versao >= 3) {
        if (!d.offline) return inicio;
        return inicio + u'|' + d.diaEmissao + u'|' + d.vNF + u'|' + d.tipoDestinatario + u'|' +
               d.destinatario;
    }
    if (!d.offline) return inicio + u'|' + idCsc(d.idCsc);
    return inicio + u'|' + d.diaEmissao + u'|' + d.vNF + u'|' + hexadecimal(d.digestValue) + u'|' +
           idCsc(d.idCsc);
}

QString textoQrNfce(const DadosQrNfce& d, const AssinaTextoQr& assina) {
    const QString parametros = parametrosQrNfce(d);
    QString texto = d.pagina + u"?p="_s + parametros;
    if (d.versao >= 3) {
        if (!d.offline) return texto;
        const QString assinatura = assina ? assina(parametros.toUtf8()) : QString();
        return assinatura.isEmpty() ? QString() : texto + u'|' + assinatura;
    }
    return texto + u'|' + Calcula_Sha1(parametros + d.csc.trimmed());
}

VersoesQrNfce VersoesQrNfce::carrega(const QString& arquivoExtra) {
    VersoesQrNfce v;
    v.le(leRecurso(u":/qel/ws/qrcode_nfce.conf"_s), u"qrcode_nfce.conf"_s);
    if (!arquivoExtra.isEmpty() && existeArquivo(arquivoExtra)) v.le(lerTexto(arquivoExtra), arquivoExtra);
    return v;
}

void VersoesQrNfce::le(const QString& texto, const QString& origem) {
    static const QRegularExpression espacos(u"\\s+"_s);
    static const QRegularExpression chave(u"^(\\*|[0-9]{2})$"_s);
    int numero = 0;
    for (const QString& linha : divideLinhas(texto)) {
        ++numero;
        const QString limpa = linha.trimmed();
        if (limpa.isEmpty() || limpa.startsWith(u'#')) continue;
        const QStringList campos = limpa.split(espacos);
        if (campos.size() != 2 || !chave.match(campos.at(0)).hasMatch() ||
            (campos.at(1) != u"2"_s && campos.at(1) != u"3"_s)) {
            erros_.append(origem + u':' + QString::number(numero) + u": "_s + limpa);
            continue;
        }
        versoes_.insert(campos.at(0), campos.at(1).toInt());
    }
}

int VersoesQrNfce::versao(const QString& cUF) const {
    return versoes_.value(cUF, versoes_.value(u"*"_s, 2));
}

} // namespace qel
