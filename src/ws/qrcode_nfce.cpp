#include "ws/qrcode_nfce.h"

#include "util/arquivos.h"
#include "util/arvore_xml.h"
#include "util/compactacao.h"
#include "util/numeros.h"
#include "util/texto.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

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
    const LeituraXml leitura = leArvoreXml(assinado);
    if (!leitura.raiz) return d;
    const NoXml& raiz = *leitura.raiz;
    const auto texto = [](const NoXml* no, QStringView nome) {
        const NoXml* filho = no ? no->filho(nome) : nullptr;
        return filho ? filho->texto.trimmed() : QString();
    };
    const NoXml* ide = raiz.busca(u"ide");
    d.offline = texto(ide, u"tpEmis") == u"9"_s;
    // The day as the document writes it, in the issuer's own time: the authority compares it with
    // dhEmi's text (rule ZX02-268), not with the date in any other zone.
    d.diaEmissao = texto(ide, u"dhEmi").mid(8, 2);
    d.vNF = texto(raiz.busca(u"ICMSTot"), u"vNF");
    if (const NoXml* digest = raiz.busca(u"DigestValue")) d.digestValue = digest->texto.trimmed();
    const NoXml* emitente = raiz.busca(u"emit");
    d.emitentePessoaFisica = emitente && emitente->filho(u"CPF");
    const NoXml* dest = raiz.busca(u"dest");
    if (dest && dest->filho(u"CNPJ")) {
        d.tipoDestinatario = u"1"_s;
        d.destinatario = CnpjSemPontuacao(texto(dest, u"CNPJ"));
    } else if (dest && dest->filho(u"CPF")) {
        d.tipoDestinatario = u"2"_s;
        d.destinatario = Somente_Numeros(texto(dest, u"CPF"));
    } else if (dest && dest->filho(u"idEstrangeiro")) {
        // A foreign recipient is told by its type alone: the parameter holds a CNPJ or a CPF.
        d.tipoDestinatario = u"3"_s;
    }
    return d;
}

int versaoQrDoDocumento(int versaoDoEstado, const DocumentoQrNfce& documento) {
    // Rule ZX02-222: version 2 is refused to an issuer identified by CPF.
    return documento.emitentePessoaFisica ? 3 : versaoDoEstado;
}

QStringList cscEmBranco(const QString& token, const QString& idToken) {
    if (!token.trimmed().isEmpty()) return {};
    QStringList faltam{u"TOKEN"_s};
    if (idToken.trimmed().isEmpty()) faltam << u"IDTOKEN"_s;
    return faltam;
}

QString parametrosQrNfce(const DadosQrNfce& d) {
    const DocumentoQrNfce& doc = d.documento;
    const QString inicio = d.chave + u'|' + QString::number(d.versao) + u'|' + d.tpAmb;
    if (d.versao >= 3) {
        if (!doc.offline) return inicio;
        return inicio + u'|' + doc.diaEmissao + u'|' + doc.vNF + u'|' + doc.tipoDestinatario + u'|' +
               doc.destinatario;
    }
    if (!doc.offline) return inicio + u'|' + idCsc(d.idCsc);
    return inicio + u'|' + doc.diaEmissao + u'|' + doc.vNF + u'|' + hexadecimal(doc.digestValue) + u'|' +
           idCsc(d.idCsc);
}

QString textoQrNfce(const DadosQrNfce& d, const AssinaTextoQr& assina) {
    const QString parametros = parametrosQrNfce(d);
    QString texto = d.pagina + u"?p="_s + parametros;
    if (d.versao >= 3) {
        if (!d.documento.offline) return texto;
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
