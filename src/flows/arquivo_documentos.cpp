#include "flows/arquivo_documentos.h"

#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/posicoes.h"
#include "util/tabelas.h"
#include "util/texto.h"

#include <QDir>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

QString ArquivoDocumentos::pastaEmpresa(const QString& cnpj) const {
    // Letters of an alphanumeric CNPJ upper-cased, as the key and the authorities write them: the
    // task's "12.abc.345/01de-35" and the key's "12ABC34501DE35" are one company's folder.
    return raiz() + u"CNPJ-"_s + CnpjSemPontuacao(cnpj) + u'/';
}

QString ArquivoDocumentos::periodo(const QString& chave) {
    return Copia(chave, 3, 2) + u'-' + Copia(chave, 5, 2);
}

QString ArquivoDocumentos::sufixo(TipoDocumento tipo) {
    return texto(tipo).left(3).toLower();
}

QString ArquivoDocumentos::pastaPeriodo(const QString& cnpj, const QString& chave) const {
    return pastaEmpresa(cnpj) + periodo(chave) + u'/';
}

QString ArquivoDocumentos::documento(const QString& cnpj, const QString& chave, TipoDocumento tipo) const {
    return irmao(cnpj, chave, sufixo(tipo));
}

QString ArquivoDocumentos::denegacao(const QString& cnpj, const QString& chave) const {
    return irmao(cnpj, chave, u"Dng"_s);
}

QString ArquivoDocumentos::contingencia(const QString& cnpj, const QString& chave, TipoDocumento tipo) const {
    return pastaEmpresa(cnpj) + u"Contingencia/"_s + chave + u'-' + sufixo(tipo) + u".xml"_s;
}

QString ArquivoDocumentos::pedidoEmailContingencia(const QString& cnpj, const QString& chave,
                                                   TipoDocumento tipo) const {
    return contingencia(cnpj, chave, tipo).chopped(4) + u".EML"_s;
}

QString ArquivoDocumentos::irmao(const QString& cnpj, const QString& chave,
                                 const QString& sufixoArquivo) const {
    return pastaPeriodo(cnpj, chave) + chave + u'-' + sufixoArquivo + u".xml"_s;
}

QString ArquivoDocumentos::cartaCorrecao(const QString& cnpj, const QString& chave, int sequencia) const {
    return pastaPeriodo(cnpj, chave) + u"CCe/"_s + chave + u"-cce-"_s +
           QString::number(sequencia).rightJustified(2, u'0') + u".xml"_s;
}

QString ArquivoDocumentos::manifestacao(const QString& cnpj, const QString& anoMes, const QString& chave,
                                        const QString& codigoEvento) const {
    return pastaEmpresa(cnpj) + anoMes + u"/Recebidas/"_s + chave + u'-' + codigoEvento + u".xml"_s;
}

QString ArquivoDocumentos::procura(const QString& chave, TipoDocumento tipo) const {
    const QString caminho = documento(cnpjDaChave(chave), chave, tipo);
    return existeArquivo(caminho) ? localizaCaminho(caminho) : QString();
}

std::optional<DadosArquivados> ArquivoDocumentos::dados(const QString& chave, TipoDocumento tipo) const {
    const QString caminho = procura(chave, tipo);
    if (caminho.isEmpty()) return std::nullopt;
    DadosArquivados d;
    // A later element of the same name overwrites an earlier one, line by line and within a line.
    // A negative length reads up to the end tag.
    const auto ultimo = [](const QString& linha, const QString& marca, qsizetype tamanho, QString& destino) {
        for (qsizetype p = linha.indexOf(marca); p >= 0; p = linha.indexOf(marca, p + 1)) {
            const qsizetype inicio = p + marca.size();
            const qsizetype fim = linha.indexOf(u'<', inicio);
            destino = linha.mid(inicio, tamanho >= 0 ? tamanho : (fim < 0 ? -1 : fim - inicio)).trimmed();
        }
    };
    for (const QString& linha : lerLinhas(caminho)) {
        // Protocols of 17 digits have begun to appear beside the 15 of the layouts.
        ultimo(linha, u"<nProt>"_s, -1, d.protocolo);
        QString uf;
        ultimo(linha, u"<UFFim>"_s, 2, uf);
        if (!uf.isEmpty()) d.ufEncerramento = Converte_UF(uf);
        ultimo(linha, u"<cMunDescarga>"_s, 7, d.munEncerramento);
    }
    return d;
}

QList<int> ArquivoDocumentos::sequenciasCCe(const QString& chave) const {
    const QString pasta = localizaCaminho(pastaPeriodo(cnpjDaChave(chave), chave) + u"CCe/"_s);
    static const QRegularExpression nome(u"-cce-(\\d+)\\.xml$"_s, QRegularExpression::CaseInsensitiveOption);
    QList<int> sequencias;
    for (const QString& arquivo : listaPorPadrao(pasta, chave + u"-cce-*.xml"_s))
        if (const auto achado = nome.match(arquivo); achado.hasMatch())
            sequencias.append(achado.captured(1).toInt());
    std::sort(sequencias.begin(), sequencias.end());
    return sequencias;
}

bool ArquivoDocumentos::grava(const QString& caminho, const QString& texto) {
    try {
        Prepara_Pasta(caminho, u"N"_s);
    } catch (const ErroInesperado&) {
        return false;
    }
    QByteArray bytes = texto.toUtf8();
    bytes.append("\r\n");
    return gravaBytes(localizaCaminho(caminho), bytes);
}

} // namespace qel
