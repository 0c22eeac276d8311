#pragma once

// The fixed codes that the exchange files, the documents and the answers spell as texts, held
// as enums inside the program. Each is parsed where a file or an answer is read and written
// back with exactly the old spelling.

#include <QString>
#include <optional>
#include <span>

namespace qel {

// A code and its spelling, for the tables that turn one into the other.
template <typename Codigo> struct Grafia {
    Codigo codigo;
    const char16_t* nome;
};

template <typename Codigo> QString grafiaDe(std::span<const Grafia<Codigo>> tabela, Codigo codigo) {
    for (const Grafia<Codigo>& g : tabela)
        if (g.codigo == codigo) return QString::fromUtf16(g.nome);
    return {};
}

// The code spelled exactly so; nothing for any other text.
template <typename Codigo>
std::optional<Codigo> codigoDe(std::span<const Grafia<Codigo>> tabela, QStringView nome) {
    for (const Grafia<Codigo>& g : tabela)
        if (nome == QStringView(g.nome)) return g.codigo;
    return std::nullopt;
}

// The kind of document of a task, as the main window shows it.
enum class TipoDocumento { Nenhum, NFe, NFCe, CTe, MDFe, NFSe, DOT, Evento };

// "NFe", "NFCe", "CTe", "MDFe", "NFSe", "DOT", "Evento"; empty for Nenhum.
QString texto(TipoDocumento tipo);
// The spelling above, exactly; anything else is Nenhum.
TipoDocumento tipoDocumento(const QString& texto);

// The authorities' environment of a run: production ("1") or homologation ("2", tests).
enum class Ambiente { Producao, Homologacao };

// "1" or "2", as tpAmb and the QR texts carry it.
QString codigo(Ambiente ambiente);

} // namespace qel
