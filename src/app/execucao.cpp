#include "app/execucao.h"

#include "tarefa/arquivo_tarefa.h"
#include "tarefa/chave.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"
#include "util/compactacao.h"
#include "util/erros.h"
#include "util/posicoes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Document files by kind, in the order they are looked for.
const QStringList kPadroesDocumento{u"NFe*.XML"_s,  u"NFCe*.XML"_s, u"CTe*.XML"_s, u"NFSe*.XML"_s,
                                    u"MDFe*.XML"_s, u"DOT*.XML"_s,  u"TAG*.XML"_s};

QString primeiraLinha(const QStringList& linhas) {
    return linhas.isEmpty() ? QString() : linhas.first();
}

// A network share (\\server\share) or a drive other than the one the drive root stands for:
// neither exists on this system, and mapping them to some local folder would split the
// settings and the archive from the ones the other workstations use.
bool servidorInalcancavel(const QString& valor) {
    static const QRegularExpression outraUnidade(u"^[A-BD-Za-bd-z]:([\\\\/]|$)"_s);
    return valor.startsWith(u"\\\\"_s) || valor.startsWith(u"//"_s) || outraUnidade.match(valor).hasMatch();
}

// How long a run waits for another instance working on the exchange folder, or for a file
// another program is still writing: $QEL_DFE_ESPERA seconds, default 30.
int esperaSegundos() {
    bool ok = false;
    const int segundos = qEnvironmentVariableIntValue("QEL_DFE_ESPERA", &ok);
    return ok && segundos >= 0 ? segundos : 30;
}

// Asks pronto() until it says yes or the wait is over; a window stays painted meanwhile.
bool aguarda(const std::function<bool()>& pronto) {
    QElapsedTimer relogio;
    relogio.start();
    const qint64 limite = qint64{esperaSegundos()} * 1000;
    for (;;) {
        if (pronto()) return true;
        if (relogio.elapsed() >= limite) return false;
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        QThread::msleep(200);
    }
}

} // namespace

QString linhaCampos(const ContextoExecucao& ctx) {
    return u"Campos: Tarefa="_s + ctx.Tarefa + u"; CNPJ="_s + ctx.CNPJ + u"; UF="_s + ctx.UF + u"; cUF="_s +
           ctx.cUF + u"; Tipo="_s + texto(ctx.Tipo) + u"; Arquivo="_s + ctx.Arquivo_Uso;
}

QString pastaLocal() {
    return caminhoNativo(u"C:\\Qel\\test\\DFe\\"_s);
}

ExecucaoTarefa::ExecucaoTarefa(InterfaceUsuario& ui, CanalMensagens& canal, QStringList argumentos,
                               RecursosExecucao recursos)
    : ui_(ui), argumentos_(std::move(argumentos)), op_(ui, canal, std::move(recursos)), ctx_(op_.ctx()) {}

Desfecho ExecucaoTarefa::ExecutaTarefa() {
    struct Solta {
        std::unique_ptr<TravaExclusiva>& trava;
        ~Solta() { trava.reset(); }
    } solta{trava_};
    try {
        const Desfecho desfecho = executa();
        return desfecho == Desfecho::Concluida && op_.gravacaoFalhou() ? Desfecho::Recusada : desfecho;
    } catch (const ErroInesperado& e) {
        op_.registro().anota(u"Erro: "_s + e.texto());
        ui_.erro(e.texto());
    } catch (const std::exception& e) {
        const QString texto = QString::fromLocal8Bit(e.what());
        op_.registro().anota(u"Erro: "_s + texto);
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
    op_.registro().anota(u"Feito"_s);
    ui_.aviso(u"Feito"_s);
}

bool ExecucaoTarefa::determinaPastas() {
    ctx_.PastaLocal = pastaLocal();
    ctx_.PastaServidor.clear();
    const QString ini = Copia(ctx_.PastaLocal, 1, ctx_.PastaLocal.size() - 4) + u"Qel.Ini"_s;
    if (existeArquivo(ini)) {
        for (const QString& linha : lerLinhas(ini)) {
            if (Copia(linha, 1, 8).toUpper() != u"SERVIDOR"_s) continue;
            // "\" alone stood for the root of the drive; a "C:\..." path is mapped like every
            // fixed path. Anything else is a native path (a mounted share, say).
            const QString valor = Copia(linha, 9, 100).trimmed();
            if (servidorInalcancavel(valor)) {
                op_.mensagem(u"A pasta do servidor em Qel.Ini ("_s + valor +
                             u") é um caminho de rede ou de outra unidade, que este sistema não alcança.|"
                             "Monte o compartilhamento e escreva na linha SERVIDOR o caminho da montagem "
                             "(por exemplo SERVIDOR /mnt/servidor).|Nenhuma tarefa foi executada."_s);
                return false;
            }
            ctx_.PastaServidor = valor.isEmpty() ? raizDrive() : caminhoNativo(valor) + u'/';
            ctx_.PastaServidor.replace(u"//"_s, u"/"_s);
            // A share that is not mounted (no folder at its path), made here, would quietly
            // become a second archive and settings that no other workstation sees.
            if (!existePasta(ctx_.PastaServidor)) {
                op_.mensagem(u"A pasta do servidor em Qel.Ini ("_s + valor + u") não existe: "_s +
                             ctx_.PastaServidor +
                             u"|Se é um compartilhamento, monte-o; esta pasta nunca é criada pelo programa.|"
                             "Nenhuma tarefa foi executada."_s);
                return false;
            }
            break;
        }
    }
    // Without a server folder the working folder is "DFe" in the current folder, made absolute
    // once: every path of the run (the archive's, the printouts') then means the same place.
    ctx_.PastaTrabalho = ctx_.PastaServidor.isEmpty() ? QDir::current().absoluteFilePath(u"DFe"_s) + u'/'
                                                      : ctx_.PastaServidor + u"DFe/"_s;

    ctx_.ambiente =
        existeArquivo(ctx_.PastaTrabalho + u"Homologacao.Qel"_s) ? Ambiente::Homologacao : Ambiente::Producao;
    ctx_.TesteNFe = existeArquivo(ctx_.PastaLocal + u"Teste.NFe"_s);
    ctx_.TesteCTe = existeArquivo(ctx_.PastaLocal + u"Teste.CTe"_s);
    return true;
}

bool ExecucaoTarefa::tomaPasta() {
    trava_.reset();
    // Without the folder there is nothing in it to take.
    if (!existePasta(ctx_.PastaLocal)) return true;
    const QString arquivo = localizaCaminho(ctx_.PastaLocal) + u"Qel_DFe.trava"_s;
    trava_ = std::make_unique<TravaExclusiva>(arquivo);
    TravaExclusiva::Estado estado = trava_->tenta();
    if (estado == TravaExclusiva::Estado::Ocupada) {
        op_.Mostra_Status(u"Aguardando outra instância (processo "_s + QString::number(trava_->detentor()) +
                          u") que trabalha nesta pasta"_s);
        aguarda([&] { return (estado = trava_->tenta()) != TravaExclusiva::Estado::Ocupada; });
    }
    if (estado == TravaExclusiva::Estado::Ocupada) {
        op_.Mostra_Status(u"Outra instância em execução"_s);
        op_.mensagem(u"Outra instância do Qel DFe (processo "_s + QString::number(trava_->detentor()) +
                     u") continua trabalhando na pasta "_s + ctx_.PastaLocal + u" após "_s +
                     QString::number(esperaSegundos()) +
                     u" segundos de espera.|Nada foi lido nem apagado; a tarefa fica na pasta para a próxima "
                     "execução."_s);
        return false;
    }
    if (estado == TravaExclusiva::Estado::Falhou) {
        op_.mensagem(u"!!!ERRO!!!|Não foi possível criar o arquivo de trava "_s + arquivo + u": "_s +
                     trava_->erro() +
                     u"|Verifique permissões e espaço da pasta. Nenhuma tarefa foi executada."_s);
        return false;
    }
    return true;
}

bool ExecucaoTarefa::esperaArquivo(const QString& arquivo) {
    if (!arquivoEmEscrita(arquivo)) return true;
    op_.Mostra_Status(u"Aguardando o fim da gravação de "_s + arquivo);
    if (aguarda([&] { return !arquivoEmEscrita(arquivo); })) return true;
    op_.mensagem(u"O arquivo "_s + arquivo + u" continua em gravação por outro programa após "_s +
                 QString::number(esperaSegundos()) +
                 u" segundos de espera.|Ele não foi lido nem apagado; nenhuma tarefa foi executada."_s);
    arquivoEmUso_ = true;
    return false;
}

bool ExecucaoTarefa::tomaArquivoTarefa() {
    const QString arquivo = ctx_.PastaLocal + u"Qel_DFe.Qel"_s;
    if (!existeArquivo(arquivo)) return false;
    // Found, but not to be taken yet: the intake stops here.
    if (!esperaArquivo(localizaCaminho(arquivo))) return true;
    ctx_.LbQel = lerLinhas(arquivo);
    // A task file that stays behind would be carried out again at the next start.
    if (!apagaArquivo(arquivo))
        throw ErroInesperado(u"Não foi possível apagar o arquivo de tarefa "_s + localizaCaminho(arquivo) +
                             u"; a tarefa não foi executada."_s);
    ctx_.NomeBase = ctx_.PastaLocal + u"Qel_DFe"_s;
    return true;
}

bool ExecucaoTarefa::tomaDocumentoXml() {
    for (const QString& padrao : kPadroesDocumento) {
        const QStringList nomes = listaPorPadrao(ctx_.PastaLocal, padrao);
        if (nomes.isEmpty()) continue;
        const QString escolhido = nomes.last();
        ctx_.ArquivoDocumento = localizaCaminho(ctx_.PastaLocal) + escolhido;
        ctx_.NomeBase = ctx_.ArquivoDocumento.chopped(4);
        ctx_.Arquivo_Uso = ctx_.ArquivoDocumento;
        if (!esperaArquivo(ctx_.ArquivoDocumento)) return true;
        ctx_.LbXML = lerLinhas(ctx_.ArquivoDocumento);
        for (qsizetype i = 0; i + 1 < nomes.size(); ++i)
            apagaArquivo(localizaCaminho(ctx_.PastaLocal) + nomes.at(i));
        ctx_.CHAVE.clear();
        if (primeiraLinha(ctx_.LbXML).trimmed().isEmpty()) return false;

        Identifica_Documento(ctx_, [this] { op_.carregaDadosEmpresa(); });
        ctx_.LbQel.append(QString());
        if (!ctx_.CHAVE.isEmpty()) {
            ctx_.CNPJ = cnpjDaChave(ctx_.CHAVE);
            ctx_.cUF = cufDaChave(ctx_.CHAVE);
        }
        // The issuer's number, read inside its own group: a party written before it (a CT-e's
        // other payer) has a CNPJ too.
        const QString linha = primeiraLinha(ctx_.LbXML).trimmed().toUpper();
        if (const qsizetype p = Posicao(u"<EMIT><CPF>"_s, linha); p > 0)
            ctx_.CNPJ = Copia(linha, p + 11, 11);
        else if (const qsizetype q = Posicao(u"<EMIT><CNPJ>"_s, linha); q > 0)
            ctx_.CNPJ = Copia(linha, q + 12, 14);
        return true;
    }
    return false;
}

void ExecucaoTarefa::mostraCampos() {
    op_.registro().anota(linhaCampos(ctx_));
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
    op_.reinicia(pastaLocal());
    arquivoEmUso_ = false;
    ctx_.PastaLocal = pastaLocal();
    if (!tomaPasta()) return Desfecho::Recusada;
    decodificacaoDiagnostico();
    op_.Mostra_Status(u"Obtendo tarefa"_s);
    // A row of the installation's endpoint or host files that was not understood changes where
    // requests go: said before anything is sent.
    for (const QString& erro : op_.recursos().enderecos.erros())
        op_.Mostra_Status(u"Linha não entendida na tabela de endereços: "_s + erro);
    for (const QString& erro : op_.recursos().versoesQr.erros())
        op_.Mostra_Status(u"Linha não entendida na tabela de versões do QR Code: "_s + erro);
    if (!determinaPastas()) return Desfecho::Recusada;

    if (!tomaArquivoTarefa() && !tomaDocumentoXml() && !semTrabalho()) {
        // The user cancelled the choice of a file to print: the program ends.
        op_.Mostra_Status(u"Nenhuma tarefa encontrada"_s);
        return Desfecho::Concluida;
    }
    if (arquivoEmUso_) return Desfecho::Recusada;

    if (!ctx_.LbQel.isEmpty()) {
        if (const std::optional<QString> recusa = interpretaTarefa(ctx_)) {
            op_.mensagem(*recusa);
            return Desfecho::Recusada;
        }
    }
    if (ctx_.Tarefa.isEmpty() && !primeiraLinha(ctx_.LbXML).trimmed().isEmpty()) {
        ctx_.Tarefa = u"Recepcao"_s;
        if (ctx_.Tipo == TipoDocumento::Nenhum)
            Identifica_Documento(ctx_, [this] { op_.carregaDadosEmpresa(); });
    }
    const QString tarefa = ctx_.Tarefa.trimmed().toUpper();
    if (tarefa == u"DOWNLOAD NFE"_s || tarefa == u"DOWNLOAD CTE"_s) {
        ctx_.Tipo = tarefa == u"DOWNLOAD NFE"_s ? TipoDocumento::NFe : TipoDocumento::CTe;
        ctx_.Tarefa = u"Download"_s;
    }
    op_.Mostra_Status(u"Tarefa: "_s + ctx_.Tarefa);
    op_.dados().reinicia();

    if (ctx_.Tarefa.trimmed().isEmpty()) {
        mostraCampos();
        op_.Mostra_Status(u"Nenhuma tarefa encontrada"_s);
        return Desfecho::Ociosa;
    }
    if (!ctx_.CNPJ.trimmed().isEmpty()) {
        // A share mounted read-only or full is a state of the installation, not a fault of the
        // program: told like one, with status 1. The local folders are the program's own.
        try {
            for (const QString& pasta : {ctx_.PastaTrabalho, ctx_.PastaTrabalho + u"Ini/"_s})
                Prepara_Pasta(pasta + u"pasta.qel"_s, u"N"_s);
        } catch (const ErroInesperado& e) {
            op_.mensagem(
                u"!!!ERRO!!!|"_s + e.texto() +
                u"|Verifique se a pasta do servidor aceita gravação e tem espaço livre. A tarefa não "
                "foi executada."_s);
            return Desfecho::Recusada;
        }
        for (const QString& pasta : {ctx_.PastaLocal, ctx_.PastaLocal + u"Ini/"_s})
            Prepara_Pasta(pasta + u"pasta.qel"_s, u"N"_s);
        op_.carregaConfiguracao();
    }
    ctx_.LbRetorno.clear();
    Modelo_Chave(ctx_);
    mostraCampos();
    if (preparo_) preparo_(linhaDaTarefa(ctx_.Tarefa));
    return despacha(op_);
}

} // namespace qel
