// What ChamaWebService does for the NFS-e: the municipality, Estrela's file exchange, and the body
// and envelope of the municipality's provider.

#include "flows/apoio_fluxo.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "nfse/estrela.h"
#include "nfse/provedor.h"
#include "nfse/resposta.h"
#include "nfse/xml_nfse.h"
#include "sign/assinatura.h"
#include "util/arquivos.h"
#include "util/arvore_xml.h"
#include "util/erros.h"
#include "util/tabelas.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The provider's identification in the caller's document (CNPJ and municipal registration of the
// Prestador), which the lot repeats.
struct Prestador {
    QString cnpj;
    QString inscricao;
};

Prestador prestadorDoDocumento(const QString& documento) {
    const LeituraXml leitura = leArvoreXml(documento);
    if (!leitura.raiz) return {};
    const NoXml& raiz = *leitura.raiz;
    const NoXml* prestador = raiz.busca(u"Prestador");
    const NoXml& onde = prestador ? *prestador : raiz;
    return {onde.valor(u"Cnpj"), onde.valor(u"InscricaoMunicipal")};
}

// Signs at the place the provider's unit gives, with the run's certificate; the diagnostic copies
// while "Apresentar.DFe" is in the local folder.
AssinadorNfse assinador(Operacoes& op) {
    return [&op](const QString& texto, const LocalAssinatura& local) -> std::optional<QString> {
        ContextoAssinatura contexto;
        contexto.certificado = &op.CertificadoSelecionado();
        contexto.chave = op.ctx().CHAVE;
        contexto.codigoMunicipio = op.ctx().CODIGO_MUNICIPIO;
        contexto.local = local;
        ResultadoAssinatura r;
        try {
            if (existeArquivo(op.ctx().PastaLocal + u"Apresentar.DFe"_s)) {
                contexto.arquivoAntes = caminhoNativo(u"C:\\Teste\\XML_Antes_de_Assinar.XML"_s);
                contexto.arquivoDepois = caminhoNativo(u"C:\\Teste\\XML_Assinado.XML"_s);
                contexto.segredos = segredosDe(op.cfg());
                Prepara_Pasta(contexto.arquivoAntes, u"N"_s);
            }
            r = assinaXml(texto, contexto);
        } catch (const ErroInesperado& e) {
            r.erro = e.texto();
        }
        if (!r.erro.isEmpty()) {
            op.mensagem(u"Houve um erro: "_s + r.erro);
            return std::nullopt;
        }
        return r.texto;
    };
}

} // namespace

void completaMunicipioNfse(ContextoExecucao& ctx, const QString& documento) {
    if (!municipioNfse(ctx.CODIGO_MUNICIPIO)) {
        const QString doDocumento = municipioDoDocumento(documento);
        if (!doDocumento.isEmpty()) ctx.CODIGO_MUNICIPIO = doDocumento;
    }
    if (const MunicipioNfse* m = municipioNfse(ctx.CODIGO_MUNICIPIO)) {
        ctx.cUF = m->cUF;
        ctx.UF = Converte_UF(m->cUF);
    }
}

void prestadorDaNfse(ContextoExecucao& ctx, const QString& documento) {
    const Prestador prestador = prestadorDoDocumento(documento);
    if (!prestador.cnpj.isEmpty()) ctx.CNPJ = prestador.cnpj;
    if (!prestador.inscricao.isEmpty()) ctx.InscricaoMunicipal = prestador.inscricao;
}

TrocaEstrela trocaNfseEstrela(Operacoes& op, const QString& documento) {
    ContextoExecucao& ctx = op.ctx();
    if (grupoNfse(ctx.CODIGO_MUNICIPIO) != GrupoNfse::Estrela) return TrocaEstrela::NaoEstrela;
    // The document is signed where its layout says, with the identifier its signature references
    // taken from the document first (the reception builders, which would set it, do not run here).
    const QString idDeclaracao = nfse::atributoId(documento, u"InfDeclaracaoPrestacaoServico"_s);
    if (!idDeclaracao.isEmpty()) ctx.CHAVE = idDeclaracao;
    LocalAssinatura local = localAssinatura(documento, ctx.CHAVE, ctx.CODIGO_MUNICIPIO);
    if (!idDeclaracao.isEmpty())
        local = {true, idDeclaracao,
                 static_cast<qsizetype>(QStringLiteral("</tcDeclaracaoPrestacaoServico>").size())};
    if (!local.reconhecido) {
        op.mensagem(u"O documento não é uma NFS-e que o provedor de Estrela recebe.|Nada foi copiado."_s);
        return TrocaEstrela::Falhou;
    }
    op.Mostra_Status(u"Gerando Assinatura - Estrela"_s);
    const std::optional<QString> assinado = assinador(op)(documento, local);
    if (!assinado) return TrocaEstrela::Falhou;
    const nfse::TrocaEstrela troca = nfse::trocaArquivoEstrela(
        caminhoNativo(u"C:\\Qel\\NFSe-Estrela\\temp\\"_s), *assinado, ctx.ArquivoDocumento);
    ctx.LbRetorno = QStringList{*assinado};
    if (!troca.erro.isEmpty()) {
        op.Mostra_Status(u"Falha na troca de arquivos de Estrela: "_s + troca.erro);
        op.mensagem(u"!!!ERRO!!!|"_s + troca.erro);
        return TrocaEstrela::Falhou;
    }
    if (troca.copiaExistia) {
        // Handing this one over would lose it: the caller's file stays until the provider's
        // program has taken the earlier exchange.
        op.Mostra_Status(u"Envio anterior ainda na pasta de troca de Estrela: "_s + troca.copia);
        op.mensagem(
            u"O envio anterior deste documento ainda não foi recolhido pelo programa do provedor:|"_s +
            troca.copia +
            u"|Nada foi gravado para o provedor; o documento e o pedido de e-mail "
            "continuam onde estavam. Envie-o de novo depois que o provedor recolher "
            "a cópia anterior."_s);
        return TrocaEstrela::Falhou;
    }
    op.Mostra_Status(u"Arquivo Copiado: "_s + troca.copia);
    op.ui().aviso(u"Arquivo Copiado"_s);
    return TrocaEstrela::Trocado;
}

std::optional<EnvioNfse> preparaEnvioNfse(Operacoes& op, Servico servico, const Endpoint& endpoint,
                                          const QString& documento, bool jaAssinado) {
    ContextoExecucao& ctx = op.ctx();
    const MunicipioNfse* municipio = municipioNfse(ctx.CODIGO_MUNICIPIO);
    const ProvedorNfse* provedor = municipio ? provedorNfse(municipio->grupo) : nullptr;
    if (!provedor) {
        op.mensagem(u"O município da NFS-e ("_s + ctx.CODIGO_MUNICIPIO +
                    u") não é um dos atendidos.|Nada foi enviado."_s);
        return std::nullopt;
    }
    op.Mostra_Status(u"Gerando Assinatura - "_s + nome(servico));
    DadosNfse dados;
    dados.documento = documento;
    if (servico == Servico::Recepcao && !jaAssinado) prestadorDaNfse(ctx, documento);
    dados.cnpj = CnpjSemPontuacao(ctx.CNPJ);
    dados.inscricaoMunicipal = ctx.InscricaoMunicipal.trimmed();
    dados.razaoSocial = op.dados().nome;
    dados.codigoMunicipio = ctx.CODIGO_MUNICIPIO;
    dados.nomeBase = ctx.NomeBase;
    dados.numeroLote = ctx.Seq_Evento;
    dados.chave = ctx.CHAVE;
    dados.rps = rpsDoDocumento(documento);
    dados.protocolo = ctx.Protocolo;
    dados.numeroNfse = nfse::numeroInteiro(ctx.NroInicial);
    dados.motivo = ctx.Justificativa.trimmed();

    CorpoNfse corpo;
    if (jaAssinado) {
        corpo.texto = documento;
        corpo.chave = ctx.CHAVE;
    } else if (servico == Servico::Recepcao) {
        corpo = provedor->recepcao(dados, assinador(op));
    } else if (servico == Servico::Consultar) {
        corpo = provedor->consulta(dados);
    } else if (servico == Servico::RetRecepcao) {
        corpo = provedor->consultaLote(dados);
    } else if (servico == Servico::Cancelar) {
        corpo = provedor->cancelamento(dados, assinador(op));
    } else {
        corpo.recusa = u"O serviço "_s + nome(servico) + u" de NFS-e não é feito por esta versão."_s;
    }
    if (!corpo.recusa.isEmpty()) {
        op.Mostra_Status(u"NFS-e não enviada: "_s + corpo.recusa);
        op.mensagem(corpo.recusa + u"|Nada foi enviado."_s);
        return std::nullopt;
    }
    // The provider's schema checks the very body that goes out, as the authorities' schemas do.
    if (!op.conformeEsquema(corpo.texto)) return std::nullopt;
    if (servico == Servico::Recepcao || servico == Servico::Cancelar) ctx.LbXML = QStringList{corpo.texto};
    if (servico == Servico::Recepcao && !corpo.chave.isEmpty()) ctx.CHAVE = corpo.chave;
    const EnvelopeNfse envelope = provedor->envelope(servico, endpoint, corpo.texto);
    op.Mostra_Status(u"Enviando XML - "_s + nome(servico));
    return EnvioNfse{envelope.texto, envelope.soap12};
}

QStringList mensagensDaRecusaNfse(Operacoes& op, const RespostaNfse& r, const QString& titulo,
                                  const QString& status) {
    QString linhas;
    QStringList texto{titulo};
    for (const MensagemNfse& m : r.mensagens) {
        linhas += nfse::el(u"Codigo"_s, m.codigo) + nfse::el(u"Mensagem"_s, m.mensagem) +
                  nfse::el(u"Correcao"_s, m.correcao);
        texto << m.codigo + u" - "_s + m.mensagem;
        if (!m.correcao.trimmed().isEmpty()) texto << u"Correção: "_s + m.correcao.trimmed();
    }
    op.Mostra_Status(status + r.codigos());
    op.ctx().LbRetorno = QStringList{Remove_Acentos(linhas)};
    op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"Codigo"_s, u"Mensagem"_s, QString());
    return texto;
}

} // namespace qel
