#include "app/execucao.h"

#include "app/arquivo_tarefa.h"
#include "util/arquivos.h"
#include "util/compactacao.h"
#include "util/erros.h"
#include "util/identificacao.h"
#include "util/posicoes.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Document files by kind, in the order they are looked for.
const QStringList kPadroesDocumento{u"NFe*.XML"_s,  u"NFCe*.XML"_s, u"CTe*.XML"_s, u"NFSe*.XML"_s,
                                    u"MDFe*.XML"_s, u"DOT*.XML"_s,  u"TAG*.XML"_s};

QString primeiraLinha(const QStringList& linhas) {
    return linhas.isEmpty() ? QString() : linhas.first();
}

} // namespace

int codigoSaida(Desfecho desfecho) {
    switch (desfecho) {
    case Desfecho::Concluida:
    case Desfecho::Ociosa:
        return 0;
    case Desfecho::Recusada:
        return 1;
    case Desfecho::Erro:
        return 2;
    }
    return 2;
}

QString linhaCampos(const ContextoExecucao& ctx) {
    return u"Campos: Tarefa="_s + ctx.Tarefa + u"; CNPJ="_s + ctx.CNPJ + u"; UF="_s + ctx.UF + u"; cUF="_s +
           ctx.cUF + u"; Tipo="_s + ctx.Tipo + u"; Arquivo="_s + ctx.Arquivo_Uso;
}

QString pastaLocal() {
    return caminhoNativo(u"C:\\Qel\\test\\DFe\\"_s);
}

ExecucaoTarefa::ExecucaoTarefa(InterfaceUsuario& ui, CanalMensagens& canal, QStringList argumentos)
    : ui_(ui), canal_(canal), argumentos_(std::move(argumentos)), dialogo_(ui, canal) {
    dialogo_.registraCom([this](const ConteudoResultado& c) {
        QStringList texto{c.titulo};
        texto << c.linhasMensagem << c.linhasPrincipal;
        registro_.anota(texto.join(u'\n'));
    });
}

void ExecucaoTarefa::Mostra_Status(const QString& texto) {
    ctx_.LB_Apresentacao.append(texto);
    registro_.anota(texto);
    ui_.status(texto, ctx_);
}

QString ExecucaoTarefa::Mostra_Mensagem(const QString& modo, const QString& tag1, const QString& tag2,
                                        const QString& texto) {
    return dialogo_.Mostra_Mensagem(modo, tag1, tag2, texto, ctx_.LbRetorno);
}

Desfecho ExecucaoTarefa::ExecutaTarefa() {
    try {
        return executa();
    } catch (const ErroInesperado& e) {
        registro_.anota(u"Erro: "_s + e.texto());
        ui_.erro(e.texto());
    } catch (const std::exception& e) {
        const QString texto = QString::fromLocal8Bit(e.what());
        registro_.anota(u"Erro: "_s + texto);
        ui_.erro(texto);
    }
    return Desfecho::Erro;
}

void ExecucaoTarefa::decodificacaoDiagnostico() {
    const QString origem = caminhoNativo(u"C:\\teste\\base64.txt"_s);
    if (!existeArquivo(origem)) return;
    const QString texto = Descompacta(lerTexto(origem));
    if (!gravaLinhas(caminhoNativo(u"c:\\teste\\Arquivo.txt"_s), divideLinhas(texto)))
        throw ErroInesperado(u"Não foi possível gravar o arquivo "_s +
                             caminhoNativo(u"c:\\teste\\Arquivo.txt"_s));
    apagaArquivo(origem);
    registro_.anota(u"Feito"_s);
    ui_.aviso(u"Feito"_s);
}

void ExecucaoTarefa::determinaPastas() {
    ctx_.PastaLocal = pastaLocal();
    ctx_.PastaServidor.clear();
    const QString ini = Copia(ctx_.PastaLocal, 1, ctx_.PastaLocal.size() - 4) + u"Qel.Ini"_s;
    if (existeArquivo(ini)) {
        ctx_.LbConfig = lerLinhas(ini);
        for (const QString& linha : std::as_const(ctx_.LbConfig)) {
            if (Copia(linha, 1, 8).toUpper() == u"SERVIDOR"_s) {
                // "\" alone stood for the root of the drive; a "C:\..." path is mapped like every
                // fixed path. Anything else is a native path (a mounted share, say).
                const QString valor = Copia(linha, 9, 100).trimmed();
                ctx_.PastaServidor = valor.isEmpty() ? raizDrive() : caminhoNativo(valor) + u'/';
                ctx_.PastaServidor.replace(u"//"_s, u"/"_s);
                break;
            }
        }
        ctx_.LbConfig.clear();
    }
    ctx_.PastaTrabalho = ctx_.PastaServidor + u"DFe/"_s;

    ctx_.Ambiente = existeArquivo(ctx_.PastaTrabalho + u"Homologacao.Qel"_s) ? u"2"_s : u"1"_s;
    if (existeArquivo(ctx_.PastaLocal + u"Teste.NFe"_s)) ctx_.TesteNFe = u"S"_s;
    if (existeArquivo(ctx_.PastaLocal + u"Teste.CTe"_s)) ctx_.TesteCTe = u"S"_s;
}

bool ExecucaoTarefa::tomaArquivoTarefa() {
    const QString arquivo = ctx_.PastaLocal + u"Qel_DFe.Qel"_s;
    if (!existeArquivo(arquivo)) return false;
    ctx_.LbQel = lerLinhas(arquivo);
    // A task file that stays behind would be carried out again at the next start.
    if (!apagaArquivo(arquivo))
        throw ErroInesperado(u"Não foi possível apagar o arquivo de tarefa "_s + localizaCaminho(arquivo) +
                             u"; a tarefa não foi executada."_s);
    ctx_.NomeBase = ctx_.PastaLocal + u"Qel_DFe"_s;
    return true;
}

void ExecucaoTarefa::carregaDados() {
    dados_.cortaAtividades();
    Carrega_Dados_DFe(ctx_, dados_);
}

bool ExecucaoTarefa::tomaDocumentoXml() {
    for (const QString& padrao : kPadroesDocumento) {
        const QStringList nomes = listaPorPadrao(ctx_.PastaLocal, padrao);
        if (nomes.isEmpty()) continue;
        const QString escolhido = nomes.last();
        ctx_.ArquivoDocumento = localizaCaminho(ctx_.PastaLocal) + escolhido;
        ctx_.NomeBase = ctx_.ArquivoDocumento.chopped(4);
        ctx_.Arquivo_Uso = ctx_.ArquivoDocumento;
        ctx_.LbXML = lerLinhas(ctx_.ArquivoDocumento);
        for (qsizetype i = 0; i + 1 < nomes.size(); ++i)
            apagaArquivo(localizaCaminho(ctx_.PastaLocal) + nomes.at(i));
        ctx_.CHAVE.clear();
        if (primeiraLinha(ctx_.LbXML).trimmed().isEmpty()) return false;

        Identifica_Documento(ctx_, [this] { carregaDados(); });
        ctx_.LbQel.append(QString());
        if (!ctx_.CHAVE.isEmpty()) {
            ctx_.CNPJ = Copia(ctx_.CHAVE, 7, 14);
            ctx_.cUF = Copia(ctx_.CHAVE, 1, 2);
        }
        const QString linha = primeiraLinha(ctx_.LbXML).trimmed().toUpper();
        if (linha.contains(u"<EMIT><CPF>"_s))
            ctx_.CNPJ = Copia(linha, Posicao(u"<CPF>"_s, linha) + 5, 11);
        else if (linha.contains(u"<EMIT><CNPJ>"_s))
            ctx_.CNPJ = Copia(linha, Posicao(u"<CNPJ>"_s, linha) + 6, 14);
        return true;
    }
    return false;
}

void ExecucaoTarefa::mostraCampos() {
    registro_.anota(linhaCampos(ctx_));
    ui_.campos(ctx_);
}

bool ExecucaoTarefa::semTrabalho() {
    QString arquivo;
    if (!argumentos_.isEmpty()) {
        arquivo = argumentos_.first();
    } else {
        const std::optional<QString> escolhido = ui_.escolheArquivo(raizDrive());
        if (!escolhido) return false;
        arquivo = *escolhido;
    }
    ctx_.LbQel = QStringList{u"Tarefa Imprimir"_s, u"Arquivo "_s + arquivo};
    return true;
}

Desfecho ExecucaoTarefa::executa() {
    ctx_ = ContextoExecucao();
    registro_.defineArquivo(pastaLocal() + u"Qel_DFe.log"_s);
    decodificacaoDiagnostico();
    Mostra_Status(u"Obtendo tarefa"_s);
    determinaPastas();

    if (!tomaArquivoTarefa() && !tomaDocumentoXml() && !semTrabalho()) {
        // The user cancelled the choice of a file to print: the program ends.
        Mostra_Status(u"Nenhuma tarefa encontrada"_s);
        return Desfecho::Concluida;
    }

    if (!ctx_.LbQel.isEmpty()) {
        if (const std::optional<QString> recusa = interpretaTarefa(ctx_)) {
            Mostra_Mensagem(u"Mensagem"_s, QString(), QString(), *recusa);
            return Desfecho::Recusada;
        }
    }
    if (ctx_.Tarefa.isEmpty() && !primeiraLinha(ctx_.LbXML).trimmed().isEmpty()) {
        ctx_.Tarefa = u"Recepcao"_s;
        if (ctx_.Tipo.isEmpty()) Identifica_Documento(ctx_, [this] { carregaDados(); });
    }
    const QString tarefa = ctx_.Tarefa.trimmed().toUpper();
    if (tarefa == u"DOWNLOAD NFE"_s || tarefa == u"DOWNLOAD CTE"_s) {
        ctx_.Tipo = tarefa == u"DOWNLOAD NFE"_s ? u"NFe"_s : u"CTe"_s;
        ctx_.Tarefa = u"Download"_s;
    }
    Mostra_Status(u"Tarefa: "_s + ctx_.Tarefa);
    dados_.reinicia();

    if (ctx_.Tarefa.trimmed().isEmpty()) {
        mostraCampos();
        Mostra_Status(u"Nenhuma tarefa encontrada"_s);
        return Desfecho::Ociosa;
    }
    if (!ctx_.CNPJ.trimmed().isEmpty()) {
        for (const QString& pasta : {ctx_.PastaTrabalho, ctx_.PastaTrabalho + u"Ini/"_s, ctx_.PastaLocal,
                                     ctx_.PastaLocal + u"Ini/"_s})
            Prepara_Pasta(pasta + u"pasta.qel"_s, u"N"_s);
        carregaConfiguracao(ctx_, cfg_);
    }
    ctx_.LbRetorno.clear();
    Modelo_Chave(ctx_);
    mostraCampos();
    return despacha();
}

} // namespace qel
