#include "nfse/estrela.h"

#include "nfse/provedor.h"
#include "util/arquivos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

// Estrela has no web service: every request goes through the exchange folder (the flow does it
// before looking for an endpoint), so the unit builds nothing.
class Estrela : public ProvedorNfse {
public:
    GrupoNfse grupo() const override { return GrupoNfse::Estrela; }
    CorpoNfse recepcao(const DadosNfse&, const AssinadorNfse&) const override { return troca(); }
    CorpoNfse consulta(const DadosNfse&) const override { return troca(); }
    CorpoNfse cancelamento(const DadosNfse&, const AssinadorNfse&) const override { return troca(); }
    EnvelopeNfse envelope(Servico, const Endpoint&, const QString&) const override { return {}; }

private:
    static CorpoNfse troca() {
        CorpoNfse c;
        c.recusa = u"A NFS-e de Estrela é trocada por arquivo com o programa do provedor."_s;
        return c;
    }
};

} // namespace

const ProvedorNfse& provedorEstrela() {
    static const Estrela p;
    return p;
}

TrocaEstrela trocaArquivoEstrela(const QString& pasta, const QString& assinado,
                                 const QString& arquivoDocumento) {
    TrocaEstrela t;
    if (!QDir().mkpath(pasta)) {
        t.erro = u"Não foi possível criar a pasta de troca "_s + pasta;
        return t;
    }
    const QString base = pasta.endsWith(u'/') ? pasta : pasta + u'/';
    t.assinado = base + u"XML_Assinado.xml"_s;
    // The copy keeps the caller's name, with the extension in lower case.
    const QFileInfo origem(arquivoDocumento);
    t.copia = base + origem.completeBaseName() + u".xml"_s;
    // A copy of that name still waiting means the provider's program has not taken the earlier
    // exchange: the signed document beside it is that exchange's, and neither is replaced.
    if (existeArquivo(t.copia)) {
        t.copiaExistia = true;
        return t;
    }
    // gravaBytes, not QSaveFile: on a full disk the latter leaves an empty file and says it worked.
    if (!gravaBytes(t.assinado, assinado.toUtf8())) {
        t.erro = u"Não foi possível gravar "_s + t.assinado;
        return t;
    }
    if (!QFile::copy(origem.filePath(), t.copia))
        t.erro = u"Não foi possível copiar "_s + arquivoDocumento + u" para "_s + t.copia;
    return t;
}

} // namespace qel::nfse
