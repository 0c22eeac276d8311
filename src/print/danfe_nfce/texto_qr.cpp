#include "print/danfe_nfce/texto_qr.h"

#include "print/impressao.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The text of the element `nome` (of `infNFeSupl`, the only place it occurs), unescaped; a CDATA
// section on a line of its own (how the line reader cuts it) counts as that text. Read from the
// document's own lines: a selected group has its tags upper-cased, and a CDATA line is one tag to
// it, which would upper-case the address and its digests.
QString doSuplemento(const LeitorXml& leitor, const QString& nome) {
    const QStringList& linhas = leitor.linhas();
    const QString abre = u'<' + nome + u'>';
    const QString fecha = u"</"_s + nome + u'>';
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const QString linha = linhas.at(i).trimmed();
        if (!linha.startsWith(abre, Qt::CaseInsensitive)) continue;
        QString valor;
        if (linha.endsWith(fecha, Qt::CaseInsensitive)) {
            valor = linha.mid(abre.size(), linha.size() - abre.size() - fecha.size());
        } else {
            // <qrCode>, then <![CDATA[...]]>, then </qrCode>.
            for (qsizetype j = i + 1;
                 j < linhas.size() && linhas.at(j).trimmed().compare(fecha, Qt::CaseInsensitive) != 0; ++j)
                valor += linhas.at(j).trimmed();
        }
        valor = valor.trimmed();
        if (valor.startsWith(u"<![CDATA["_s) && valor.endsWith(u"]]>"_s))
            return valor.mid(9, valor.size() - 12).trimmed();
        return textoDoXml(valor).trimmed();
    }
    return {};
}

// The run's consultation for the document's key, state and environment (ide's cUF and tpAmb).
ConsultaNfce consultaDoDocumento(const LeitorXml& leitor, const QString& chave,
                                 const ConsultaNfceNaoEnviada& consulta) {
    if (!consulta) return {};
    LeitorXml ide = leitor;
    ide.Seleciona_Grupo(u"ide"_s);
    const Ambiente ambiente =
        ide.Busca_Valor(u"tpAmb"_s) == u"2"_s ? Ambiente::Homologacao : Ambiente::Producao;
    return consulta(chave, ide.Busca_Valor(u"cUF"_s).trimmed(), ambiente);
}

} // namespace

QString textoQrNfce(const LeitorXml& leitor, const QString& chave, const ConsultaNfceNaoEnviada& consulta) {
    if (const QString proprio = doSuplemento(leitor, u"qrCode"_s); !proprio.isEmpty()) return proprio;
    const QString doEstado = consultaDoDocumento(leitor, chave, consulta).qrCode;
    return doEstado.isEmpty() ? chave : doEstado;
}

QString enderecoConsultaNfce(const LeitorXml& leitor, const QString& chave,
                             const ConsultaNfceNaoEnviada& consulta) {
    if (const QString proprio = doSuplemento(leitor, u"urlChave"_s); !proprio.isEmpty()) return proprio;
    const QString doEstado = consultaDoDocumento(leitor, chave, consulta).urlChave;
    return doEstado.isEmpty() ? u"www.nfe.fazenda.gov.br/portal"_s : doEstado;
}

} // namespace qel
