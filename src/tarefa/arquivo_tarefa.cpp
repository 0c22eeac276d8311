#include "tarefa/arquivo_tarefa.h"

#include "tarefa/chave.h"
#include "util/linha_chave.h"
#include "util/tabelas.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using Ctx = ContextoExecucao;

struct Palavra {
    const char16_t* chave;
    qsizetype janela;
    QString Ctx::*valor = nullptr;
    QStringList Ctx::*lista = nullptr;
};

// In the order a line is tested: where one keyword begins another (ANO-MES and ANO) the longer
// one comes first, and a line that begins with UF, IM or PDF is taken by those rows.
constexpr Palavra kPalavras[] = {
    {u"TAREFA", 6, &Ctx::Tarefa},
    {u"UF", 2, &Ctx::UF},
    {u"CNPJ", 4, &Ctx::CNPJ},
    {u"CHAVE", 5, &Ctx::CHAVE},
    {u"PROTOCOLO", 9, &Ctx::Protocolo},
    {u"PDF", 3, &Ctx::NomePDF},
    {u"JUSTIFICATIVA CONTINGENCIA", 26, &Ctx::JustificativaContingencia},
    {u"JUSTIFICATIVA", 13, &Ctx::Justificativa},
    {u"CONTINGENCIA", 12, &Ctx::Contingencia},
    {u"NROINICIAL", 10, &Ctx::NroInicial},
    {u"NROFINAL", 8, &Ctx::NroFinal},
    {u"ANO-MES", 7, &Ctx::Ano_Mes},
    {u"ANO", 3, &Ctx::Ano},
    {u"MODELO", 6, &Ctx::Modelo},
    {u"SERIE", 5, &Ctx::Serie},
    {u"CCE TEXTO", 9, nullptr, &Ctx::Tb_Correcao},
    {u"CCE CONDICAO", 12, &Ctx::CCe_Condicao},
    {u"SEQUENCIA EVENTO", 16, &Ctx::Seq_Evento},
    {u"TIPO EVENTO", 11, &Ctx::TpEvento},
    {u"ARQUIVO", 7, &Ctx::Arquivo},
    {u"CONSULTA UF", 11, &Ctx::UF_Consulta},
    {u"CONSULTA DC", 11, &Ctx::Doc_Consulta},
    {u"IM", 2, &Ctx::InscricaoMunicipal},
    {u"CODIGO MUNICIPIO", 16, &Ctx::CODIGO_MUNICIPIO},
    {u"CATEGORIA PEDAGIO", 17, &Ctx::Cat_Pedagio},
    {u"TIPO ROTA", 9, &Ctx::Tipo_Rota},
    {u"CIDADE ROTA", 11, nullptr, &Ctx::TbCidadeRota},
};

} // namespace

std::optional<QString> interpretaTarefa(ContextoExecucao& ctx) {
    ctx.NomePDF.clear();
    ctx.Tarefa.clear();
    ctx.Tb_Correcao.clear();
    for (const QString& linha : std::as_const(ctx.LbQel)) {
        for (const Palavra& p : kPalavras) {
            if (!casaChave(linha, p.chave, p.janela)) continue;
            const QString valor = valorChave(linha, p.janela);
            if (p.lista) {
                (ctx.*p.lista).append(valor);
            } else if (p.valor == &Ctx::Tarefa && !ctx.Tarefa.isEmpty()) {
                return u"Mais de uma tarefa solicitada ("_s + ctx.Tarefa +
                       u"),|Nao sera processada nenhuma tarefa."_s;
            } else {
                ctx.*p.valor = valor;
            }
            if (p.valor == &Ctx::UF) ctx.cUF = Converte_UF(valor);
            if (p.valor == &Ctx::CHAVE && ctx.CNPJ.trimmed().isEmpty()) ctx.CNPJ = cnpjDaChave(valor);
            if (p.valor == &Ctx::Doc_Consulta) ctx.Doc_Consulta = CnpjSemPontuacao(valor);
            break;
        }
    }
    return std::nullopt;
}

} // namespace qel
