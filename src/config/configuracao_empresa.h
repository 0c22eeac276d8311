#pragma once

// The settings of the issuing company: one file in the shared working folder (seen by every
// workstation) and one in the local folder (printers and certificates are per workstation).

#include <QString>
#include <QStringList>

namespace qel {

// Field names follow the controls of the configuration dialog that edit them. Numbers keep
// the text the dialog or the file gave, and are converted where they are used, so that a file
// written by hand comes back unchanged after a save.
struct ConfiguracaoEmpresa {
    // Server settings file.
    QString Logotipo;
    QString Token;
    QString IDToken;
    QString Averbacao;
    QString Usuario_NFSe;
    QString Senha_NFSe;
    bool Sem_Email_Auto = false;
    // The contingency in force for the company's NF-e and NFC-e ("SVC-AN", "SVC-RS", "SVC",
    // "EPEC", "OFFLINE"; empty: normal emission) and its justification (xJust).
    QString Contingencia;
    QString JustificativaContingencia;

    // Local settings file.
    QString Certificado_DFe;
    QString Certificado_NFSe;
    bool NaoUtilizarLogo = false;
    QString ImpressoraNFe;
    QString NFe_Copias = QStringLiteral("0");
    bool nfe_ImpEmissao = false;
    bool NFe_ImpNome = false;
    bool NFe_ImpFantasia = false;
    bool NFe_ImpVencimento = false;
    bool nfe_impEan = false;
    bool NFe_Descricao = false;
    QString ImpressoraCTe;
    QString CTe_Copias = QStringLiteral("0");
    QString TokenCiot;
    QString ImpressoraMDF;
    QString MDF_Copias = QStringLiteral("0");
    QString ImpressoraNFSe;
    QString NFSE_Copias = QStringLiteral("0");
    QString ImpressoraNFCe;
    QString NFCE_Copias = QStringLiteral("0");
    bool NFCe_A4 = false;
    bool NFCe_resumo = false;
    bool NFCe_PerguntaImp = false;
    bool NFCe_Descricao = false;
    QString MargemNFC = QStringLiteral("0");
    bool PDF_Fonte = false;
    bool Chb_ImpEmail_NFe = false;
    bool Chb_ImpEmail_NFCe = false;
    bool Chb_ImpEmail_CTe = false;
    bool Chb_ImpEmail_MDFe = false;
    bool Chb_ImpEmail_NFSe = false;
    bool Chb_Imp_NFe = false;
    bool Chb_Imp_NFCe = false;
    bool Chb_Imp_CTe = false;
    bool Chb_Imp_MDFe = false;
    bool Chb_Imp_NFSe = false;

    bool operator==(const ConfiguracaoEmpresa&) const = default;
};

// A number as the dialog shows it or a user typed it: blanks, the thousands separator "." and
// "R$" are ignored, "," is the decimal separator. Throws ErroInesperado for anything else.
double numeroConfiguracao(const QString& texto);
// The margin of the NFC-e receipt: "." or "," as decimal separator.
double margemNFCe(const ConfiguracaoEmpresa& cfg);

// Where the files of a company are: the run's folders (native paths ending with "/") and the
// company's CNPJ as the task gave it.
struct PastasEmpresa {
    QString local;
    QString trabalho;
    QString cnpj;
};

// Paths of the three company files (the CNPJ without its punctuation names them).
QString arquivoConfiguracaoServidor(const PastasEmpresa& pastas);
QString arquivoConfiguracaoLocal(const PastasEmpresa& pastas);
QString arquivoDadosEmpresa(const PastasEmpresa& pastas);

// Loads both settings files of the company into cfg (fields no file mentions keep their values;
// the copy counts start at 0).
void carregaConfiguracao(const PastasEmpresa& pastas, ConfiguracaoEmpresa& cfg);

// A warning line for each settings file that holds a secret (CSC token, NFS-e password, CIOT
// token) and that other users can read. The calling application may write these files itself,
// so this is told, not refused.
QStringList avisosDeSegredos(const PastasEmpresa& pastas, const ConfiguracaoEmpresa& cfg);

// The secrets of the settings (CSC token, NFS-e password, CIOT token) that diagnostic copies must
// mask: those of four characters or more (shorter ones cannot be told apart from other text).
QStringList segredosDe(const ConfiguracaoEmpresa& cfg);

// The lines of the two files as the configuration dialog writes them.
QStringList linhasConfiguracaoServidor(const ConfiguracaoEmpresa& cfg);
QStringList linhasConfiguracaoLocal(const ConfiguracaoEmpresa& cfg);
// Replaces both files, each of mode 0600. False when one of them could not be written.
bool gravaConfiguracao(const PastasEmpresa& pastas, const ConfiguracaoEmpresa& cfg);

} // namespace qel
