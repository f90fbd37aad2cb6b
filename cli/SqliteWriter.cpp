#include "SqliteWriter.h"

#include "FormFields.h"
#include "SqliteStore.h"

#include <glib.h>

#include <memory>

std::string SqliteWriter::digest(const FormBody& body, const std::optional<std::string>& date)
{
    const std::unique_ptr<GChecksum, void (*)(GChecksum*)> sum(g_checksum_new(G_CHECKSUM_SHA256),
                                                               g_checksum_free);
    body.read([&sum](std::string_view piece) {
        g_checksum_update(sum.get(), reinterpret_cast<const guchar*>(piece.data()),
                          static_cast<gssize>(piece.size()));
        return true;
    });
    // The date after a NUL, which no form text holds, so that the two never run together.
    const std::string tail = std::string(1, '\0') + date.value_or("");
    g_checksum_update(sum.get(), reinterpret_cast<const guchar*>(tail.data()),
                      static_cast<gssize>(tail.size()));
    return g_checksum_get_string(sum.get());
}

std::optional<std::string> SqliteWriter::write(const Submission& submission, FormBody& body)
{
    const std::string sum = digest(body, submission.date);
    const bool kept =
        submission.messageId
            ? m_store.hasMessageId(*submission.messageId)
            : (!submission.mailbox.empty() &&
               m_store.hasUid(submission.mailbox, submission.uidValidity, submission.uid)) ||
                  m_store.hasDigest(sum);
    if (kept) {
        ++m_skipped;
        return std::nullopt;
    }
    const std::int64_t id = m_store.add(submission, sum);
    std::int64_t position = 0;
    const auto note = FormFields::read(body, m_decoding, true, [&](const FormFieldView& field) {
        m_store.addField(id, ++position, field.name, field.value);
    });
    ++m_added;
    return note;
}
