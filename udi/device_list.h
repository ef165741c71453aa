/* Inside the device listing. */
#ifndef UDI_DEVICE_LIST_H
#define UDI_DEVICE_LIST_H

#include "libudi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Frees the node's texts and the node; nothing for NULL. */
void free_device_node(udi_device_node *node);

#ifdef __cplusplus
}
#endif

#endif
