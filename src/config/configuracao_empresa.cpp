#include "config/configuracao_empresa.h"

#include "util/arquivo_privado.h"
#include "util/arquivos.h"
#include "util/codificacao.h"
#include "util/erros.h"
#include "util/linha_chave.h"
#include "util/posicoes.h"
#include "util/texto.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using Cfg = ConfiguracaoEmpresa;

// What a key line does to the record.
struct Chave {
    const char16_t* chave;
    qsizetype janela;
    QString Cfg::*texto = nullptr;      // value stored in a text field
    bool Cfg::*marca = nullptr;         // flag switched on
    QString Cfg::*automatiza = nullptr; // older files: at least one copy
};

constexpr Chave kServidor[] = {
    {u"LOGOTIPO", 8, &Cfg::Logotipo},
    {u"TOKEN", 5, &Cfg::Token},
    {u"IDTOKEN", 7, &Cfg::IDToken},
    {u"AVERBACAO", 9, &Cfg::Averbacao},
    {u"SEM EMAIL AUTOMATICO", 20, nullptr, &Cfg::Sem_Email_Auto},
    {u"USUARIO NFS", 11, &Cfg::Usuario_NFSe},
    {u"SENHA NFS", 9, &Cfg::Senha_NFSe},
    {u"SEM IMPRESSAO AUTOMATICA", 24, nullptr, &Cfg::Chb_ImpEmail_NFe},
    {u"JUSTIFICATIVA CONTINGENCIA", 26, &Cfg::JustificativaContingencia},
    {u"CONTINGENCIA", 12, &Cfg::Contingencia},
};

// The margin key is handled apart (its value has a fixed place on the line).
constexpr Chave kLocal[] = {
    {u"NFS CERTIFICADO", 15, &Cfg::Certificado_NFSe},
    {u"CERTIFICADO", 11, &Cfg::Certificado_DFe},
    {u"NAO UTILIZAR LOGOTIPO", 21, nullptr, &Cfg::NaoUtilizarLogo},
    {u"DANFE IMPRESSORA", 16, &Cfg::ImpressoraNFe},
    {u"DANFE AUTOMATIZAR IMPRESSAO", 27, nullptr, nullptr, &Cfg::NFe_Copias},
    {u"DANFE NUMERO DE COPIAS", 22, &Cfg::NFe_Copias},
    {u"DANFE DATA EMISSAO NO CANHOTO", 29, nullptr, &Cfg::nfe_ImpEmissao},
    {u"DANFE NAO IMPRIMIR NOME NO CANHOTO", 38, nullptr, &Cfg::NFe_ImpNome},
    {u"DANFE NAO IMPRIMIR FANTASIA NO CANHOTO", 38, nullptr, &Cfg::NFe_ImpFantasia},
    {u"DANFE NAO IMPRIMIR VENCIMENTOS NO CANHOTO", 41, nullptr, &Cfg::NFe_ImpVencimento},
    {u"DANFE NAO IMPRIMIR EAN", 41, nullptr, &Cfg::nfe_impEan},
    {u"NFE DESCRICAO", 13, nullptr, &Cfg::NFe_Descricao},
    {u"DACTE IMPRESSORA", 16, &Cfg::ImpressoraCTe},
    {u"DACTE AUTOMATIZAR IMPRESSAO", 27, nullptr, nullptr, &Cfg::CTe_Copias},
    {u"DACTE NUMERO DE COPIAS", 22, &Cfg::CTe_Copias},
    {u"MDF IMPRESSORA", 14, &Cfg::ImpressoraMDF},
    {u"MDF AUTOMATIZAR IMPRESSAO", 25, nullptr, nullptr, &Cfg::MDF_Copias},
    {u"MDF NUMERO DE COPIAS", 20, &Cfg::MDF_Copias},
    {u"CIOT TOKEN", 10, &Cfg::TokenCiot},
    {u"NFSE IMPRESSORA", 15, &Cfg::ImpressoraNFSe},
    {u"NFSE AUTOMATIZAR IMPRESSAO", 26, nullptr, nullptr, &Cfg::NFSE_Copias},
    {u"NFSE NUMERO DE COPIAS", 21, &Cfg::NFSE_Copias},
    {u"NFCE AUTOMATIZAR IMPRESSAO", 26, nullptr, nullptr, &Cfg::NFCE_Copias},
    {u"NFCE IMPRESSORA", 15, &Cfg::ImpressoraNFCe},
    {u"NFCE A4", 7, nullptr, &Cfg::NFCe_A4},
    {u"NFCE DESCRICAO", 14, nullptr, &Cfg::NFCe_Descricao},
    {u"NFCE MARGEM", 11},
    {u"NFCE RESUMO", 11, nullptr, &Cfg::NFCe_resumo},
    {u"NFCE PERGUNTA IMPRESSAO", 23, nullptr, &Cfg::NFCe_PerguntaImp},
    {u"NFCE NUMERO DE COPIAS", 21, &Cfg::NFCE_Copias},
    {u"PDF SEM FONTES", 21, nullptr, &Cfg::PDF_Fonte},
    {u"SEM IMPRESSAO SE EMAIL NFE", 26, nullptr, &Cfg::Chb_ImpEmail_NFe},
    {u"SEM IMPRESSAO SE EMAIL NFCE", 27, nullptr, &Cfg::Chb_ImpEmail_NFCe},
    {u"SEM IMPRESSAO SE EMAIL CTE", 26, nullptr, &Cfg::Chb_ImpEmail_CTe},
    {u"SEM IMPRESSAO SE EMAIL MDFE", 27, nullptr, &Cfg::Chb_ImpEmail_MDFe},
    {u"SEM IMPRESSAO SE EMAIL NFSE", 27, nullptr, &Cfg::Chb_ImpEmail_NFSe},
    {u"SEM IMPRESSAO AUTO NFE", 22, nullptr, &Cfg::Chb_Imp_NFe},
    {u"SEM IMPRESSAO AUTO NFCE", 23, nullptr, &Cfg::Chb_Imp_NFCe},
    {u"SEM IMPRESSAO AUTO CTE", 22, nullptr, &Cfg::Chb_Imp_CTe},
    {u"SEM IMPRESSAO AUTO MDFE", 23, nullptr, &Cfg::Chb_Imp_MDFe},
    {u"SEM IMPRESSAO AUTO NFSE", 23, nullptr, &Cfg::Chb_Imp_NFSe},
};

bool ehZero(const QString& texto) {
    try {
        return numeroConfiguracao(texto) == 0.0;
    } catch (const ErroInesperado&) {
        return false;
    }
}

template <std::size_t N> void aplicaLinha(const QString& linha, Cfg& cfg, const Chave (&tabela)[N]) {
    for (const Chave& c : tabela) {
        if (!casaChave(linha, c.chave, c.janela)) continue;
        if (c.texto)
            cfg.*c.texto = valorChave(linha, c.janela);
        else if (c.marca)
            cfg.*c.marca = true;
        else if (c.automatiza) {
            if (ehZero(cfg.*c.automatiza)) cfg.*c.automatiza = u"1"_s;
        } else {
            // NFCE MARGEM: characters 12 to 31; the old fixed margin when empty.
            const QString valor = Copia(linha, 12, 20).trimmed();
            cfg.MargemNFC = valor.isEmpty() ? u"1,9"_s : valor;
        }
        return;
    }
}

QString nomeArquivo(const QString& pasta, const PastasEmpresa& pastas, const QString& extensao) {
    // An alphanumeric CNPJ names its file with its letters upper-cased, as everywhere else.
    return pasta + u"INI/"_s + CnpjSemPontuacao(pastas.cnpj) + extensao;
}

void aplicaArquivo(const QString& caminho, const auto& aplicar) {
    if (!existeArquivo(caminho)) return;
    for (const QString& linha : lerLinhas(caminho))
        aplicar(linha);
}

// Replaces a settings file: whatever the spelling of the old name, the new file is ".INI".
bool substituiArquivo(const QString& caminhoIni, const QStringList& linhas) {
    QString novo = caminhoIni;
    novo.chop(4);
    novo += u".INI"_s;
    Prepara_Pasta(novo, u"N"_s);
    const QString antigo = localizaCaminho(novo);
    const QString alvo = QFileInfo(antigo).absolutePath() + u'/' + QFileInfo(novo).fileName();
    // Renamed first, so that the atomic write below replaces it instead of finding it again.
    if (antigo != alvo && QFileInfo::exists(antigo) && !QFile::rename(antigo, alvo)) return false;
    // A value is one line: a break typed or pasted into a field (a text box keeps it) would end
    // the value there and make its rest a line of its own, read as another key.
    QString texto;
    for (QString linha : linhas)
        texto += linha.replace(u'\r', u' ').replace(u'\n', u' ') + u"\r\n"_s;
    // Both files may hold a secret (the CSC token, the NFS-e password, the CIOT token): they are
    // written for the owner alone, as the certificate store is.
    return gravaPrivado(alvo, paraCp1252(texto));
}

// A warning when the file holds a secret and other users can read it.
void avisaSeAberto(const QString& caminho, bool temSegredo, QStringList& avisos) {
    if (!temSegredo) return;
    const QString real = localizaCaminho(caminho);
    if (!QFileInfo::exists(real) || !abertoAOutros(real)) return;
    avisos << u"Aviso: o arquivo de configuração "_s + real +
                  u" guarda senha ou token e pode ser lido por "
                  "outros usuários (modo "_s +
                  textoModo(modoDe(real)) + u"); deixe-o com modo 0600."_s;
}

} // namespace

double numeroConfiguracao(const QString& texto) {
    QString limpo = texto;
    limpo.remove(u"R$"_s).remove(u' ').remove(u'.');
    if (limpo.isEmpty()) return 0.0;
    limpo.replace(u',', u'.');
    bool ok = false;
    const double valor = limpo.toDouble(&ok);
    if (!ok) throw ErroInesperado(u"'"_s + texto + u"' não é um número válido"_s);
    return valor;
}

double margemNFCe(const ConfiguracaoEmpresa& cfg) {
    QString texto = cfg.MargemNFC.trimmed();
    texto.replace(u',', u'.');
    bool ok = false;
    const double valor = texto.isEmpty() ? 0.0 : texto.toDouble(&ok);
    if (!texto.isEmpty() && !ok) throw ErroInesperado(u"'"_s + cfg.MargemNFC + u"' não é um número válido"_s);
    return valor;
}

QString arquivoConfiguracaoServidor(const PastasEmpresa& pastas) {
    return nomeArquivo(pastas.trabalho, pastas, u".ini"_s);
}
QString arquivoConfiguracaoLocal(const PastasEmpresa& pastas) {
    return nomeArquivo(pastas.local, pastas, u".ini"_s);
}
QString arquivoDadosEmpresa(const PastasEmpresa& pastas) {
    return nomeArquivo(pastas.trabalho, pastas, u".DFe"_s);
}

void carregaConfiguracao(const PastasEmpresa& pastas, ConfiguracaoEmpresa& cfg) {
    aplicaArquivo(arquivoConfiguracaoServidor(pastas),
                  [&](const QString& linha) { aplicaLinha(linha, cfg, kServidor); });
    if (existeArquivo(pastas.local + u"Logo_DFe.JPG"_s)) cfg.Logotipo = pastas.local + u"Logo_DFe.jpg"_s;
    for (QString* copias :
         {&cfg.NFe_Copias, &cfg.CTe_Copias, &cfg.MDF_Copias, &cfg.NFSE_Copias, &cfg.NFCE_Copias})
        *copias = u"0"_s;
    aplicaArquivo(arquivoConfiguracaoLocal(pastas),
                  [&](const QString& linha) { aplicaLinha(linha, cfg, kLocal); });
}

QStringList avisosDeSegredos(const PastasEmpresa& pastas, const ConfiguracaoEmpresa& cfg) {
    QStringList avisos;
    avisaSeAberto(arquivoConfiguracaoServidor(pastas),
                  !cfg.Token.trimmed().isEmpty() || !cfg.Senha_NFSe.trimmed().isEmpty(), avisos);
    avisaSeAberto(arquivoConfiguracaoLocal(pastas), !cfg.TokenCiot.trimmed().isEmpty(), avisos);
    return avisos;
}

QStringList segredosDe(const ConfiguracaoEmpresa& cfg) {
    QStringList segredos;
    for (const QString& segredo : {cfg.Token.trimmed(), cfg.Senha_NFSe.trimmed(), cfg.TokenCiot.trimmed()})
        if (segredo.size() >= 4) segredos << segredo;
    return segredos;
}

QStringList linhasConfiguracaoServidor(const ConfiguracaoEmpresa& cfg) {
    QStringList l{u"Logotipo "_s + cfg.Logotipo,        u"Token "_s + cfg.Token,
                  u"IDToken "_s + cfg.IDToken,          u"Averbacao "_s + cfg.Averbacao,
                  u"Usuario nfs "_s + cfg.Usuario_NFSe, u"Senha nfs "_s + cfg.Senha_NFSe};
    if (cfg.Chb_ImpEmail_NFe) l << u"Sem Impressao Automatica"_s;
    if (cfg.Sem_Email_Auto) l << u"Sem Email Automatico"_s;
    if (!cfg.Contingencia.trimmed().isEmpty()) l << u"Contingencia "_s + cfg.Contingencia;
    if (!cfg.JustificativaContingencia.trimmed().isEmpty())
        l << u"Justificativa Contingencia "_s + cfg.JustificativaContingencia;
    return l;
}

QStringList linhasConfiguracaoLocal(const ConfiguracaoEmpresa& cfg) {
    QStringList l;
    const auto se = [&](bool marca, const char16_t* texto) {
        if (marca) l << QString::fromUtf16(texto);
    };
    l << u"Certificado "_s + cfg.Certificado_DFe << u"NFS Certificado "_s + cfg.Certificado_NFSe;
    se(cfg.NaoUtilizarLogo, u"Nao Utilizar Logotipo");
    l << u"DANFE Impressora "_s + cfg.ImpressoraNFe << u"DANFE Numero de Copias "_s + cfg.NFe_Copias;
    se(cfg.nfe_ImpEmissao, u"DANFE Data Emissao no Canhoto");
    se(cfg.NFe_ImpNome, u"DANFE Nao Imprimir Nome no Canhoto");
    se(cfg.NFe_ImpFantasia, u"DANFE Nao Imprimir Fantasia no Canhoto");
    se(cfg.NFe_ImpVencimento, u"DANFE Nao Imprimir Vencimentos no Canhoto");
    se(cfg.nfe_impEan, u"DANFE Nao Imprimir EAN");
    se(cfg.NFe_Descricao, u"NFE Descricao");
    l << u"DACTE Impressora "_s + cfg.ImpressoraCTe << u"DACTE Numero de Copias "_s + cfg.CTe_Copias
      << u"CIOT Token "_s + cfg.TokenCiot << u"MDF Impressora "_s + cfg.ImpressoraMDF
      << u"MDF Numero de Copias "_s + cfg.MDF_Copias << u"NFSE Impressora "_s + cfg.ImpressoraNFSe
      << u"NFSE Numero de Copias "_s + cfg.NFSE_Copias << u"NFCE Impressora "_s + cfg.ImpressoraNFCe
      << u"NFCE Numero de Copias "_s + cfg.NFCE_Copias;
    se(cfg.NFCe_A4, u"NFCE A4");
    se(cfg.NFCe_resumo, u"NFCE Resumo");
    se(cfg.NFCe_PerguntaImp, u"NFCE Pergunta Impressao");
    se(cfg.NFCe_Descricao, u"NFCE Descricao");
    if (margemNFCe(cfg) > 0) l << u"NFCE Margem "_s + cfg.MargemNFC;
    se(cfg.PDF_Fonte, u"PDF Sem Fontes");
    se(cfg.Chb_ImpEmail_NFe, u"Sem Impressao se Email NFe");
    se(cfg.Chb_ImpEmail_NFCe, u"Sem Impressao se Email NFCe");
    se(cfg.Chb_ImpEmail_CTe, u"Sem Impressao se Email CTe");
    se(cfg.Chb_ImpEmail_MDFe, u"Sem Impressao se Email MDFe");
    se(cfg.Chb_ImpEmail_NFSe, u"Sem Impressao se Email NFSe");
    se(cfg.Chb_Imp_NFe, u"Sem Impressao Auto NFe");
    se(cfg.Chb_Imp_NFCe, u"Sem Impressao Auto NFCe");
    se(cfg.Chb_Imp_CTe, u"Sem Impressao Auto CTe");
    se(cfg.Chb_Imp_MDFe, u"Sem Impressao Auto MDFe");
    se(cfg.Chb_Imp_NFSe, u"Sem Impressao Auto NFSe");
    return l;
}

bool gravaConfiguracao(const PastasEmpresa& pastas, const ConfiguracaoEmpresa& cfg) {
    const bool servidor =
        substituiArquivo(arquivoConfiguracaoServidor(pastas), linhasConfiguracaoServidor(cfg));
    const bool local = substituiArquivo(arquivoConfiguracaoLocal(pastas), linhasConfiguracaoLocal(cfg));
    return servidor && local;
}

} // namespace qel
