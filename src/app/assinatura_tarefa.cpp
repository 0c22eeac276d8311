// Signing for the task run, and the signing utility for integrators.

#include "app/execucao.h"
#include "sign/assinatura.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/identificacao.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace qel {

QString ExecucaoTarefa::Assinar_XML(const QString& texto) {
    ContextoAssinatura contexto;
    contexto.certificado = &certificado_;
    contexto.chave = ctx_.CHAVE;
    contexto.codigoMunicipio = ctx_.CODIGO_MUNICIPIO;
    // While "Apresentar.DFe" is in the local folder, copies of the text before and after signing
    // are kept for support.
    if (existeArquivo(pastaLocal() + u"Apresentar.DFe"_s)) {
        contexto.arquivoAntes = caminhoNativo(u"C:\\Teste\\XML_Antes_de_Assinar.XML"_s);
        contexto.arquivoDepois = caminhoNativo(u"C:\\Teste\\XML_Assinado.XML"_s);
    }
    const ResultadoAssinatura resultado = assinaXml(texto, contexto);
    if (!resultado.erro.isEmpty()) {
        Mostra_Mensagem(u"Mensagem"_s, QString(), QString(), u"Houve um erro: "_s + resultado.erro);
        return {};
    }
    return resultado.texto;
}

int ExecucaoTarefa::assinaArquivo(const QString& arquivo, const QString& cnpj, const QString& chave) {
    try {
        ctx_ = ContextoExecucao();
        registro_.defineArquivo(pastaLocal() + u"Qel_DFe.log"_s);
        determinaPastas();
        ctx_.CNPJ = cnpj;
        ctx_.CHAVE = chave;
        ctx_.Arquivo_Uso = arquivo;
        if (!cnpj.trimmed().isEmpty()) carregaConfiguracao(ctx_, cfg_);

        // The text as a web-service call prepares a document: every line trimmed, joined.
        QString texto;
        for (const QString& linha : lerLinhas(caminhoNativo(arquivo)))
            texto += linha.trimmed();
        Identifica_Municipio(ctx_, texto);
        if (!localAssinatura(limpaParaAssinatura(texto), ctx_.CHAVE, ctx_.CODIGO_MUNICIPIO).reconhecido) {
            ui_.erro(u"O documento "_s + arquivo + u" não é de um tipo que o Qel DFe assina."_s);
            return 1;
        }
        if (!Selecionar_Certificado(u"N"_s)) return 1;
        const QString assinado = Assinar_XML(texto);
        if (assinado.isEmpty()) return 1;
        std::fputs(assinado.toUtf8().append('\n').constData(), stdout);
        std::fflush(stdout);
        return 0;
    } catch (const ErroInesperado& e) {
        ui_.erro(e.texto());
        return 2;
    }
}

} // namespace qel
