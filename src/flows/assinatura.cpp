// Signing for the task run.

#include "sign/assinatura.h"
#include "flows/operacoes.h"
#include "util/arquivos.h"
#include "util/erros.h"

using namespace Qt::StringLiterals;

namespace qel {

QString Operacoes::Assinar_XML(const QString& texto) {
    return QString::fromUtf8(assinaUtf8(texto.toUtf8()));
}

QByteArray Operacoes::assinaUtf8(QByteArray texto) {
    ContextoAssinatura contexto;
    contexto.certificado = &certificado_;
    contexto.chave = ctx_.CHAVE;
    contexto.codigoMunicipio = ctx_.CODIGO_MUNICIPIO;
    ResultadoAssinaturaUtf8 resultado;
    try {
        // While "Apresentar.DFe" is in the local folder, copies of the text before and after
        // signing are kept for support.
        if (existeArquivo(ctx_.PastaLocal + u"Apresentar.DFe"_s)) {
            contexto.arquivoAntes = caminhoNativo(u"C:\\Teste\\XML_Antes_de_Assinar.XML"_s);
            contexto.arquivoDepois = caminhoNativo(u"C:\\Teste\\XML_Assinado.XML"_s);
            contexto.segredos = segredosDe(cfg_);
            Prepara_Pasta(contexto.arquivoAntes, u"N"_s);
        }
        resultado = assinaXmlUtf8(std::move(texto), contexto);
    } catch (const ErroInesperado& e) {
        // A diagnostic folder that cannot be made is a failed signature like any other.
        resultado.erro = e.texto();
    }
    if (!resultado.erro.isEmpty()) {
        mensagem(u"Houve um erro: "_s + resultado.erro);
        return {};
    }
    return resultado.texto;
}

} // namespace qel
