#include "print/impressao.h"

#include "util/arquivos.h"
#include "util/posicoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

void Preenche_Memo(Modelo& modelo, const QString& nome, const QString& valor, VarianteMemo variante) {
    Objeto& memo = modelo.objeto(nome);
    memo.limpa();
    if (nome.compare(u"Aviso"_s, Qt::CaseInsensitive) == 0) memo.visivel = !valor.trimmed().isEmpty();
    QStringList pedacos = valor.split(u'|');
    if (variante == VarianteMemo::SemVaziosMeio) {
        QStringList mantidos;
        for (qsizetype i = 0; i < pedacos.size(); ++i)
            if (i == 0 || i == pedacos.size() - 1 || !pedacos.at(i).trimmed().isEmpty())
                mantidos.append(pedacos.at(i));
        pedacos = mantidos;
    }
    if (variante == VarianteMemo::DadosAdicionais &&
        nome.compare(u"Dados_Adicionais"_s, Qt::CaseInsensitive) == 0 && pedacos.size() > 16) {
        Objeto& segundo = modelo.objeto(u"Dados_Adicionais2"_s);
        segundo.limpa();
        segundo.linhas = pedacos.mid(16);
        pedacos = pedacos.mid(0, 16);
    }
    memo.linhas = pedacos;
}

QStringList Quebra_Texto(const Modelo& modelo, const QString& texto, double larguraPrimeira,
                         double larguraDemais, int numeroMemo) {
    QStringList linhas;
    const QStringList pedacos = texto.split(u'|');
    for (qsizetype i = 0; i < pedacos.size(); ++i)
        if (i == pedacos.size() - 1 || !pedacos.at(i).isEmpty()) linhas.append(pedacos.at(i));

    Objeto medidor = modelo.objeto(u"Teste"_s + QString::number(numeroMemo));
    const auto largura = [&](const QString& linha) {
        medidor.defineTexto(linha);
        return medidor.larguraTexto();
    };
    for (qsizetype i = 0; i < linhas.size(); ++i) {
        const double permitida = i > 0 && larguraDemais > larguraPrimeira ? larguraDemais : larguraPrimeira;
        const QString original = linhas.at(i);
        QString linha = original;
        qsizetype fim = linha.size();
        bool cortou = false;
        while (largura(linha) > permitida) {
            qsizetype corte = -1;
            for (qsizetype j = fim - 1; j > 0; --j) {
                if (original.at(j) == u' ' || original.at(j) == u',') {
                    corte = j;
                    break;
                }
            }
            if (corte < 0) break; // one word wider than the box: it stays whole
            fim = corte;
            linha = original.left(corte).trimmed();
            cortou = true;
        }
        if (cortou) {
            linhas[i] = linha;
            linhas.insert(i + 1, original.mid(fim).trimmed());
        }
    }
    return linhas;
}

void Afina_Molduras(Modelo& modelo) {
    for (Objeto& o : modelo.objetos())
        if (o.tipo == TipoObjeto::Forma) o.espessura = 0;
}

QString dataDoXml(const QString& valor) {
    if (valor.trimmed().isEmpty()) return {};
    return Copia(valor, 9, 2) + u'/' + Copia(valor, 6, 2) + u'/' + Copia(valor, 1, 4);
}

QString horaDoXml(const QString& valor) {
    return Copia(valor, 12, 8);
}

QString numeroDocumento(const QString& numero) {
    const QString n = Somente_Numeros(numero, u"N"_s, 9);
    return n.left(3) + u'.' + n.mid(3, 3) + u'.' + n.mid(6, 3);
}

QString chaveAgrupada(const QString& chave) {
    if (chave.size() != 44) return chave;
    return chave.left(2) + u'.' + chave.mid(2, 4) + u'.' + chave.mid(6, 14) + u'.' + chave.mid(20, 2) + u'.' +
           chave.mid(22, 3) + u'.' + chave.mid(25, 9) + u'.' + chave.mid(34, 9) + u'-' + chave.mid(43, 1);
}

QString decimalDoXml(const QString& valor) {
    QString texto = valor;
    texto.remove(u',');
    return texto.replace(u'.', u',');
}

bool Deve_Imprimir(const QString& tarefa, TipoDocumento tipo, const ConfiguracaoEmpresa& cfg,
                   const QString& nomeBase) {
    if (tarefa.trimmed().toUpper() != u"RECEPCAO"_s) return true;
    using Cfg = ConfiguracaoEmpresa;
    struct Marcas {
        TipoDocumento tipo;
        bool Cfg::*seEmail;
        bool Cfg::*auto_;
    };
    static const Marcas porTipo[] = {
        {TipoDocumento::NFe, &Cfg::Chb_ImpEmail_NFe, &Cfg::Chb_Imp_NFe},
        {TipoDocumento::NFCe, &Cfg::Chb_ImpEmail_NFCe, &Cfg::Chb_Imp_NFCe},
        {TipoDocumento::CTe, &Cfg::Chb_ImpEmail_CTe, &Cfg::Chb_Imp_CTe},
        {TipoDocumento::MDFe, &Cfg::Chb_ImpEmail_MDFe, &Cfg::Chb_Imp_MDFe},
        {TipoDocumento::NFSe, &Cfg::Chb_ImpEmail_NFSe, &Cfg::Chb_Imp_NFSe},
    };
    for (const Marcas& m : porTipo) {
        if (tipo != m.tipo) continue;
        bool imprime = true;
        if (cfg.*m.seEmail && existeArquivo(nomeBase + u".EML"_s)) imprime = false;
        if (cfg.*m.auto_) imprime = false;
        return imprime;
    }
    return true;
}

QString arquivoPdf(const QString& nomePdfTarefa, const QString& prefixo, const QString& sufixo) {
    if (!nomePdfTarefa.trimmed().isEmpty()) return caminhoNativo(nomePdfTarefa.trimmed());
    return caminhoNativo(prefixo) + u'-' + sufixo + u".PDF"_s;
}

} // namespace qel
